"""The simple values against models written from XML Schema's definitions alone: every duration
and moment written is of the lexical form the schema defines, and reads back as the value
written; kept fragments of any shape are written as XML that reads back as the same fragment."""

import datetime
import re
import xml.etree.ElementTree as ElementTree

from hypothesis import given
from hypothesis import strategies as st

from morvane.definition.unmodelled import XmlFragment
from morvane.definition.xml_text import TASK_NAMESPACE
from morvane.definition.values import format_duration, format_moment, parse_duration, parse_moment

from .strategies import durations, moments

# XML Schema 1.0, 3.2.6 (duration) and 3.2.7 (dateTime), without the negative forms no span or
# boundary of the task schema takes; the task schema's pages show four-digit years.
XSD_DURATION = re.compile(r"P(?=\d|T\d)(\d+Y)?(\d+M)?(\d+D)?(T(?=\d)(\d+H)?(\d+M)?(\d+(\.\d+)?S)?)?")
XSD_DATE_TIME = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?(Z|[+-]\d\d:\d\d)?")


@given(durations)
def test_each_duration_is_written_as_xsd_writes_one_and_reads_back(value):
    text = format_duration(value)
    assert XSD_DURATION.fullmatch(text), text
    assert parse_duration(text) == value


@given(moments)
def test_each_moment_is_written_as_xsd_writes_one_and_reads_back(value):
    text = format_moment(value)
    assert XSD_DATE_TIME.fullmatch(text), text
    back = parse_moment(text)
    assert back == value and (back.tzinfo is None) == (value.tzinfo is None)


def test_durations_read_as_the_service_reads_them():
    assert parse_duration(" P1Y2M3DT4H5M6.1234567S\n") == datetime.timedelta(
        days=365 + 60 + 3, hours=4, minutes=5, seconds=6, microseconds=123456)
    for text in ("P", "PT", "P1H", "PT1D", "-PT1S", "P1.5D", "1D", "P1DT"):
        try:
            parse_duration(text)
        except ValueError:
            continue
        raise AssertionError(f"{text!r} read as a duration")


_NAMESPACES = st.sampled_from([TASK_NAMESPACE, "urn:other", ""])
_TEXT = st.text(st.characters(codec="utf-8", exclude_categories=("Cs", "Cc")) | st.sampled_from("\t\n\r"), max_size=6)
_NAME = st.sampled_from(["a", "Data", "b1"])


@st.composite
def fragments(draw, depth=2):
    namespace = draw(_NAMESPACES)
    name = "{%s}%s" % (namespace, draw(_NAME)) if namespace else draw(_NAME)
    attributes = draw(st.dictionaries(
        st.sampled_from(["k", "{urn:x}k", "{http://www.w3.org/XML/1998/namespace}lang"]), _TEXT, max_size=2))
    children = draw(st.lists(fragments(depth=depth - 1), max_size=2)) if depth else []
    mixed = draw(st.booleans())
    text = draw(_TEXT) if mixed or not children else ""
    if mixed:
        children = [XmlFragment(c.kind, c.name, c.attributes, c.text, c.children, draw(_TEXT)) for c in children]
    return XmlFragment("element", name, tuple(attributes.items()), text, tuple(children))


def _normal(fragment):
    """What reading keeps of a fragment written inside a task's root element: blank text between
    the elements of element-only content is indentation."""
    root = ElementTree.fromstring(f'<Task xmlns="{TASK_NAMESPACE}">{"".join(_written(fragment))}</Task>')
    return XmlFragment.of(root[0])


def _written(fragment):
    out = []
    fragment.write(out, "")
    return out


@given(fragments())
def test_each_kept_fragment_is_written_as_xml_that_reads_back_the_same(fragment):
    once = _normal(fragment)
    assert _normal(once) == once
    if any(child.tail.strip(" \t\r\n") for child in fragment.children) or fragment.text.strip(" \t\r\n") \
            or not fragment.children:
        assert once == fragment  # mixed content and text are kept exactly
