"""The emulator's SDDL reader and writer against sddl_model.py, a model written from the
documentation, on texts built from SDDL's tokens (well formed or not) and on their mutations."""

import os
import sys

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

if sys.platform == "win32":
    pytest.skip("the emulator stands in for Windows only elsewhere", allow_module_level=True)

from morvane import emulator  # noqa: E402

sys.path.insert(0, os.path.dirname(__file__))
import sddl_model  # noqa: E402

SIDS = st.sampled_from([*sddl_model.ALIASES, "DA", "DU", "XX", "ba", "S-", ""]) | st.builds(
    lambda revision, authority, subs: f"S-{revision}-{authority}" + "".join(f"-{sub}" for sub in subs),
    st.sampled_from(["1", "1", "2", "01"]),
    st.sampled_from(["5", "0", "4294967295", "4294967296", "0x1234567890AB", "0x1000000000000", "0x", "0x05"]),
    st.lists(st.integers(0, 2**32) | st.sampled_from([7, 21, 544]), max_size=16),
)
RIGHTS = st.sampled_from(["", "0", "0x1F01FF", "0x", "0x100000000", "131078", "4294967296", "G", "1GA"]) | st.lists(
    st.sampled_from([*sddl_model.RIGHTS, "XX"]), max_size=4
).map("".join) | st.integers(0, 2**32 - 1).map(hex)
GUIDS = st.sampled_from(["", "", "1131F6AA-9C07-11D1-F79F-00C04FC2DCD2", "{1131f6aa-9c07-11d1-f79f-00c04fc2dcd2}", "x"])
ACE_TYPES = st.sampled_from([*sddl_model.ACE_TYPES, "XA", "RA", "SP", ""])
ACES = st.builds(
    lambda kind, flags, rights, guid, inherited, sid, end: f"({kind};{flags};{rights};{guid};{inherited};{sid}{end})",
    ACE_TYPES,
    st.lists(st.sampled_from([*sddl_model.ACE_FLAGS, "XX", "O"]), max_size=3).map("".join),
    RIGHTS,
    GUIDS,
    GUIDS,
    SIDS,
    st.sampled_from(["", "", "", ";x", ")", "("]),
)
ACL_FLAGS = st.lists(st.sampled_from(["P", "AR", "AI", "NO_ACCESS_CONTROL", "X"]), max_size=3).map("".join)
PARTS = st.one_of(
    st.builds(lambda letter, sid: f"{letter}:{sid}", st.sampled_from("OG"), SIDS),
    st.builds(lambda letter, flags, aces: f"{letter}:{flags}{''.join(aces)}", st.sampled_from("DS"), ACL_FLAGS,
              st.lists(ACES, max_size=4)),
    st.sampled_from(["X:BA", ":", "O::", "O"]),
)
TEXTS = st.lists(PARTS, max_size=4).map("".join)

# Well formed: each part once, in any order, ACEs of the types its ACL takes, known codes.
GOOD_SIDS = st.sampled_from(list(sddl_model.ALIASES)) | st.builds(
    lambda subs: "S-1-5-" + "-".join(map(str, subs)), st.lists(st.integers(0, 2**32 - 1), min_size=1, max_size=15)
)
GOOD_RIGHTS = st.lists(st.sampled_from(list(sddl_model.RIGHTS)), max_size=4).map("".join) | st.integers(
    0, 2**32 - 1
).map(hex)
GOOD_FLAGS = st.lists(st.sampled_from(list(sddl_model.ACE_FLAGS)), max_size=3).map("".join)


@st.composite
def good_aces(draw, dacl):
    kind = draw(st.sampled_from([name for name, (in_dacl, _) in sddl_model.ACE_TYPES.items() if in_dacl == dacl]))
    object_ace = sddl_model.ACE_TYPES[kind][1]
    guid = draw(GUIDS.filter(lambda text: text == "" or "{" not in text and len(text) == 36)) if object_ace else ""
    return f"({kind};{draw(GOOD_FLAGS)};{draw(GOOD_RIGHTS)};{guid};;{draw(GOOD_SIDS)})"


@st.composite
def good_texts(draw):
    parts = []
    for letter in draw(st.permutations("OGDS")):
        if draw(st.booleans()):
            continue
        if letter in "OG":
            parts.append(f"{letter}:{draw(GOOD_SIDS)}")
        else:
            flags = draw(st.lists(st.sampled_from(["P", "AR", "AI"]), max_size=3).map("".join))
            null = draw(st.integers(0, 5)) == 0
            aces = "NO_ACCESS_CONTROL" if null else "".join(draw(st.lists(good_aces(letter == "D"), max_size=4)))
            parts.append(f"{letter}:{flags}{aces}")
    return "".join(parts)


@st.composite
def mutated(draw):
    """A text with a few characters deleted, doubled or replaced by SDDL's punctuation."""
    text = draw(TEXTS | good_texts())
    for _ in range(draw(st.integers(0, 3))):
        if not text:
            break
        at = draw(st.integers(0, len(text) - 1))
        change = draw(st.sampled_from(["delete", "double", "(", ")", ";", ":", "-", " ", "\u00e9"]))
        if change == "delete":
            text = text[:at] + text[at + 1 :]
        elif change == "double":
            text = text[:at] + text[at] + text[at:]
        else:
            text = text[:at] + change + text[at + 1 :]
    return text


def emulated(text):
    try:
        return emulator.sddl_canonical(text)
    except emulator.SddlRefused as refusal:
        assert refusal.hresult & 0xFFFF0000 == 0x80070000
        return refusal.hresult & 0xFFFF


@settings(max_examples=1500, deadline=None)
@given(st.one_of(TEXTS, good_texts(), mutated()))
def test_reading_and_canonical_text_match_the_model(text):
    expected = sddl_model.canonical(text)
    assert emulated(text) == expected
    if isinstance(expected, str):
        # The canonical text is a fixed point of reading and writing.
        assert emulated(expected) == expected


def test_refusals_and_bounds_reach_python():
    assert emulator.sddl_canonical("D:(A;;GRGX;;;BU)") == "D:(A;;GXGR;;;BU)"
    assert emulator.sddl_canonical("D:" + "(A;;FA;;;SY)" * 40) == "D:" + "(A;;FA;;;SY)" * 40
    for text, hresult in [("D:(A;;GA;;;DA)", 0x80070534), ("O:S-1-5", 0x80070539), ("D:(A;;ROB;;;WD)", 0x80070538),
                          ("D:" + "P" * (1 << 20), 0x80070057), ("D:(A;;GA;;;WD)" * 2, 0x80070057)]:
        with pytest.raises(emulator.SddlRefused) as refused:
            emulator.sddl_canonical(text)
        assert refused.value.hresult == hresult
    with pytest.raises(ValueError, match="NUL"):
        emulator.sddl_canonical("O:BA\0")
