"""read_task_xml: the encodings Windows tools and editors write, the declaration rewritten to
UTF-16 so that the service takes the text, and files that do not decode named with the offset."""

import codecs
import pickle

import pytest

import morvane
from morvane import TaskFileDecodeError, read_task_xml

from .definitions import TASK_XML

BODY = TASK_XML.replace("/bin/true", "/bin/true caf\u00e9 \U0001f600")  # two- and four-byte characters


@pytest.mark.parametrize(
    "declared, expected",
    [
        ('<?xml version="1.0" encoding="UTF-16"?>', '<?xml version="1.0" encoding="UTF-16"?>'),
        ('<?xml version="1.0" encoding="utf-8"?>', '<?xml version="1.0" encoding="UTF-16"?>'),
        ("<?xml version='1.0'  encoding = 'windows-1252' standalone='yes'?>",
         "<?xml version='1.0'  encoding = 'UTF-16' standalone='yes'?>"),
        ('<?xml version="1.0"?>', '<?xml version="1.0"?>'),
        ("", ""),
    ],
)
@pytest.mark.parametrize(
    "mark, codec",
    [
        (codecs.BOM_UTF16_LE, "utf-16-le"),
        (codecs.BOM_UTF16_BE, "utf-16-be"),
        (codecs.BOM_UTF8, "utf-8"),
        (b"", "utf-8"),
        (b"", "utf-16-le"),  # no mark: recognised by the NUL beside the first "<", as XML does
        (b"", "utf-16-be"),
    ],
)
def test_each_encoding_reads_into_text_the_service_accepts(tmp_path, declared, expected, mark, codec):
    path = tmp_path / "task.xml"
    separator = "\r\n" if declared else ""
    path.write_bytes(mark + (declared + separator + BODY).encode(codec))
    text = read_task_xml(path)
    assert text == expected + separator + BODY
    morvane.register_xml("Read", text)
    assert morvane.task_exists("Read")


@pytest.mark.parametrize(
    "data, encoding, start, reason",
    [
        (b"<Task>\xff</Task>", "utf-8", 6, "invalid start byte"),
        (codecs.BOM_UTF8 + b"<Task>\xe2\x82</Task>", "utf-8", 9, "invalid continuation byte"),
        (b"<Task>\xed\xa0\x80</Task>", "utf-8", 6, "invalid continuation byte"),  # an encoded surrogate
        (codecs.BOM_UTF16_LE + "<Task/>".encode("utf-16-le") + b"\x00", "utf-16-le", 16, "truncated data"),
        (codecs.BOM_UTF16_LE + b"<\x00\x00\xdc>\x00", "utf-16-le", 4, "illegal encoding"),  # a lone low surrogate
        (codecs.BOM_UTF16_BE + b"\x00<\xd8\x00\x00>", "utf-16-be", 4, "illegal UTF-16 surrogate"),
    ],
)
def test_bytes_invalid_in_their_encoding_are_named_with_file_and_offset(tmp_path, data, encoding, start, reason):
    path = tmp_path / "broken.xml"
    path.write_bytes(data)
    with pytest.raises(TaskFileDecodeError) as raised:
        read_task_xml(path)
    error = raised.value
    assert isinstance(error, UnicodeDecodeError) and isinstance(error, ValueError)
    assert (error.path, error.encoding, error.start, error.reason) == (str(path), encoding, start, reason)
    assert error.object == data
    # A file that is not UTF-8 is mostly in a legacy code page: the advice says what to do.
    advice = " (is it in another encoding, such as Windows-1252? save it as UTF-16 or UTF-8)"
    assert str(error) == f"{path}: not valid {encoding.upper()} at byte offset {start}: {reason}" + (
        advice if encoding == "utf-8" else ""
    )
    copy = pickle.loads(pickle.dumps(error))
    assert (type(copy), str(copy)) == (TaskFileDecodeError, str(error))


def test_a_file_that_cannot_be_read_raises_oserror(tmp_path):
    with pytest.raises(FileNotFoundError):
        read_task_xml(tmp_path / "missing.xml")
    with pytest.raises(IsADirectoryError):
        read_task_xml(tmp_path)


def test_a_file_larger_than_any_definition_is_refused_without_reading_it_whole():
    # /dev/zero never ends: read whole, it would never return.
    with pytest.raises(ValueError, match=r"^/dev/zero: larger than 4194304 bytes"):
        read_task_xml("/dev/zero")


@pytest.mark.parametrize(
    "data, encoding",
    [
        (codecs.BOM_UTF32_LE + TASK_XML.encode("utf-32-le"), "utf-32-le"),  # begins with UTF-16's mark
        (codecs.BOM_UTF32_BE + TASK_XML.encode("utf-32-be"), "utf-32-be"),
        (TASK_XML.encode("utf-32-le"), "utf-32-le"),  # no mark: "<" and three NUL bytes, as XML detects it
        (TASK_XML.encode("utf-32-be"), "utf-32-be"),
    ],
)
def test_utf32_is_refused_by_name(tmp_path, data, encoding):
    path = tmp_path / "task.xml"
    path.write_bytes(data)
    with pytest.raises(TaskFileDecodeError) as raised:
        read_task_xml(path)
    assert raised.value.encoding == encoding
    assert str(raised.value) == f"{path}: {encoding.upper()}, which is not read: save the file as UTF-16 or UTF-8"
    assert str(pickle.loads(pickle.dumps(raised.value))) == str(raised.value)
