"""Text as the XML of a task definition writes it: element content, attribute values, and the
start tag's attributes."""

from __future__ import annotations

TASK_NAMESPACE = "http://schemas.microsoft.com/windows/2004/02/mit/task"
_XML_NAMESPACE = "http://www.w3.org/XML/1998/namespace"


def attributes_text(attributes: tuple[tuple[str, str], ...]) -> str:
    """Attributes as written in a start tag; one in a namespace other than XML's own gets a
    prefix declared beside it."""
    text = ""
    for number, (name, value) in enumerate(attributes):
        if name[:1] == "{":
            namespace, _, local = name[1:].partition("}")
            if namespace == _XML_NAMESPACE:
                name = f"xml:{local}"
            else:
                prefix = f"ns{number}"
                text += f' xmlns:{prefix}="{escape_attribute(namespace)}"'
                name = f"{prefix}:{local}"
        text += f' {name}="{escape_attribute(value)}"'
    return text


def escape_text(text: str) -> str:
    """Text as element content; a CR is written as a reference, which a parser keeps (a CR
    written as is reads back as LF)."""
    if "&" in text:
        text = text.replace("&", "&amp;")
    if "<" in text:
        text = text.replace("<", "&lt;")
    if ">" in text:
        text = text.replace(">", "&gt;")
    if "\r" in text:
        text = text.replace("\r", "&#13;")
    return text


def escape_attribute(text: str) -> str:
    text = escape_text(text)
    if '"' in text:
        text = text.replace('"', "&quot;")
    if "\n" in text:
        text = text.replace("\n", "&#10;")
    if "\t" in text:
        text = text.replace("\t", "&#9;")
    return text
