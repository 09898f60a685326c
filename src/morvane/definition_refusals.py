"""What the codes mean with which the Task Scheduler refuses a task definition.

The service often describes a refusal by its position alone, "(2,83):Actions:", and leaves the
rest to the code. These tables say in words what each code means: the Task Scheduler's own codes
for a malformed definition (SCHED_E_*, from Microsoft's list of Task Scheduler error and success
constants) and the codes of the XML parser it reads definitions with (XmlLite's MX_E_*, WC_E_*,
NC_E_* and SC_E_*, from Microsoft's list of XmlLite error codes).
"""

from __future__ import annotations

__all__ = ["SCHEDULER_REFUSALS", "explained_message", "gives_position_only", "is_xml_parser_code", "meaning"]

SCHEDULER_REFUSALS: dict[int, str] = {
    0x80041313: "the task definition's version is not one the service knows",  # UNKNOWN_OBJECT_VERSION
    0x80041316: "the task definition holds an element or attribute that does not belong there",  # UNEXPECTEDNODE
    0x80041317: "the task definition holds an element or attribute from a namespace other than the task "
    "schema's",  # NAMESPACE
    0x80041318: "a value in the task definition is malformed or out of range",  # INVALIDVALUE
    0x80041319: "the task definition lacks a required element or attribute",  # MISSINGNODE
    0x8004131A: "the task definition is not well-formed XML",  # MALFORMEDXML
    0x8004131D: "the task definition holds too many elements of one kind",  # TOO_MANY_NODES
    0x80041327: "the task definition uses settings that the older Windows it is configured for lacks",
    # TASK_NOT_V1_COMPAT
    0x80041329: "the task definition combines settings that the scheduling engine cannot take",
    # TASK_NOT_UBPM_COMPAT
    0x80041330: "the task definition uses a deprecated feature",  # DEPRECATED_FEATURE_USED
}

_XML_PARSER_CODES: dict[int, str] = {
    0xC00CEE01: "the XML text ends too early",
    0xC00CEE02: "the XML text is in an encoding the parser does not know",
    0xC00CEE03: "the XML text's encoding cannot be switched to the one its declaration names",
    0xC00CEE04: "the XML text starts with a byte order mark the parser does not know",
    0xC00CEE21: "white space is missing in the XML text",
    0xC00CEE22: "a semicolon is missing in the XML text",
    0xC00CEE23: "a '>' is missing in the XML text",
    0xC00CEE24: "a quote is missing in the XML text",
    0xC00CEE25: "an '=' is missing in the XML text",
    0xC00CEE26: "an attribute value in the XML text holds a '<'",
    0xC00CEE27: "a hexadecimal digit is missing in a character reference",
    0xC00CEE28: "a decimal digit is missing in a character reference",
    0xC00CEE2B: "the XML text holds a character that XML does not allow",
    0xC00CEE2C: "a name in the XML text holds a character that names may not hold",
    0xC00CEE2D: "the XML text is not well-formed",
    0xC00CEE2E: "a CDATA section in the XML text is malformed",
    0xC00CEE2F: "a comment in the XML text is malformed",
    0xC00CEE39: "a name is missing in the XML text",
    0xC00CEE3A: "the XML text has no root element, or more than one",
    0xC00CEE3B: "an end tag in the XML text does not match its start tag",
    0xC00CEE3C: "an attribute appears twice on one element of the XML text",
    0xC00CEE3E: "an XML declaration stands elsewhere than at the very start of the text",
    0xC00CEE40: "the XML declaration is malformed",
    0xC00CEE41: "the encoding name in the XML declaration is malformed",
    0xC00CEE47: "the XML text refers to an entity that is not declared",
    0xC00CEE4F: "the XML text holds a document type declaration, which is not allowed",
    0xC00CEE61: "a qualified name in the XML text holds a character that it may not hold",
    0xC00CEE62: "a qualified name in the XML text holds more than one colon",
    0xC00CEE65: "the XML text uses a namespace prefix that it does not declare",
    0xC00CEE66: "a namespace declaration in the XML text has an empty URI",
    0xC00CEE81: "the XML text nests elements deeper than the parser allows",
    0xC00CEE82: "the XML text's entities expand to more than the parser allows",
}

# What each family of the XML parser's codes is about, for the codes the table leaves out.
_XML_PARSER_FAMILIES = [
    (range(0xC00CE500, 0xC00CE600), "the XML text is not well-formed"),  # MSXML's parse errors
    (range(0xC00CEE00, 0xC00CEE20), "the XML text cannot be read in its encoding"),
    (range(0xC00CEE20, 0xC00CEE60), "the XML text is not well-formed"),
    (range(0xC00CEE60, 0xC00CEE80), "the XML text breaks a rule of XML namespaces"),
    (range(0xC00CEE80, 0xC00CEF00), "the XML text exceeds a limit of the parser"),
]
# Every code of Microsoft's XML parsers (MSXML's and XmlLite's) lies in this range.
_XML_PARSER_RANGE = range(0xC00CE000, 0xC00CF000)


def is_xml_parser_code(hresult: int) -> bool:
    """Whether hresult (unsigned) is a code of the XML parser."""
    return hresult in _XML_PARSER_RANGE


def meaning(hresult: int) -> str | None:
    """What a refusal of a definition with hresult (unsigned) means; None for other codes."""
    if hresult in SCHEDULER_REFUSALS:
        return SCHEDULER_REFUSALS[hresult]
    if hresult in _XML_PARSER_CODES:
        return _XML_PARSER_CODES[hresult]
    for family, text in _XML_PARSER_FAMILIES:
        if hresult in family:
            return text
    return "the XML parser refused the task definition" if is_xml_parser_code(hresult) else None


def gives_position_only(message: str) -> bool:
    """Whether the service's message for a refusal starts with a position, "(2,83):Actions:"."""
    # re is imported here: the exit statuses import this module, and "exists" needs no regex.
    import re

    return re.match(r"\(\d+,\d+\)", message) is not None


def explained_message(message: str, hresult: int) -> str:
    """The service's message, preceded by what the code means when the message is a position
    only, "(1,7):Task:"; other messages as they are."""
    explained = meaning(hresult)
    if explained and gives_position_only(message):
        return f"{explained}: {message}"
    return message
