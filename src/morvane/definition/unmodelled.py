"""What a definition holds that the model does not: elements, comments and processing
instructions, and attributes, kept as they were read so that writing the model again loses none
of them.

Each kept node remembers the modelled element it followed (its anchor), and is written back
after that element; the writer writes modelled elements in its own order, so a kept node keeps
its neighbour rather than its index. Whitespace between elements is indentation and is not
kept; text inside an element that holds no other element is kept exactly.
"""

from __future__ import annotations

import dataclasses
import xml.etree.ElementTree as ElementTree

from morvane.definition.xml_text import TASK_NAMESPACE, attributes_text, escape_attribute, escape_text

__all__ = ["Unmodelled", "XmlFragment"]

_BLANKS = " \t\r\n"

ELEMENT, COMMENT, INSTRUCTION = "element", "comment", "instruction"


@dataclasses.dataclass(frozen=True, slots=True)
class XmlFragment:
    """One node kept as read: an element (name in {namespace}local form, attributes, text,
    children, and the text that follows each child), a comment or a processing instruction."""

    kind: str
    name: str = ""
    attributes: tuple[tuple[str, str], ...] = ()
    text: str = ""
    children: tuple[XmlFragment, ...] = ()
    tail: str = ""

    @classmethod
    def of(cls, element: ElementTree.Element, tail: str = "") -> XmlFragment:
        """The fragment of a node of a tree that ElementTree built (comments and processing
        instructions included); tail is the text that followed it inside a mixed parent."""
        tag: object = element.tag
        if tag is ElementTree.Comment:
            return cls(COMMENT, text=element.text or "", tail=tail)
        if tag is ElementTree.ProcessingInstruction:
            return cls(INSTRUCTION, text=element.text or "", tail=tail)
        children = list(element)
        text = element.text or ""
        # Element-only content: the whitespace around the children is indentation.
        mixed = bool(children) and (text.strip(_BLANKS) or any((c.tail or "").strip(_BLANKS) for c in children))
        if children and not mixed:
            text = ""
        kept = tuple(cls.of(child, (child.tail or "") if mixed else "") for child in children)
        return cls(ELEMENT, str(tag), tuple(element.attrib.items()), text, kept, tail)

    def write(self, out: list[str], indent: str, default_namespace: str = TASK_NAMESPACE) -> None:
        """Appends the fragment's XML, indented by indent (None: inside mixed content, as is)."""
        out.append(indent)
        self._write(out, indent, default_namespace)
        out.append("\n")

    def _write(self, out: list[str], indent: str | None, default_namespace: str) -> None:
        if self.kind == COMMENT:
            out.append(f"<!--{self.text}-->")
        elif self.kind == INSTRUCTION:
            out.append(f"<?{self.text}?>")
        else:
            namespace, _, local = self.name[1:].partition("}") if self.name[:1] == "{" else ("", "", self.name)
            declarations = ""
            if namespace != default_namespace:
                declarations = f' xmlns="{escape_attribute(namespace)}"'
                default_namespace = namespace
            out.append(f"<{local}{declarations}{attributes_text(self.attributes)}")
            if not self.children and not self.text:
                out.append(" />")
            elif not self.children:
                out.append(f">{escape_text(self.text)}</{local}>")
            else:
                out.append(">")
                mixed = bool(self.text) or any(child.tail for child in self.children)
                if mixed or indent is None:
                    out.append(escape_text(self.text))
                    for child in self.children:
                        child._write(out, None, default_namespace)
                        out.append(escape_text(child.tail))
                    out.append(f"</{local}>")
                else:
                    inner = indent + "  "
                    out.append("\n")
                    for child in self.children:
                        child.write(out, inner, default_namespace)
                    out.append(f"{indent}</{local}>")


@dataclasses.dataclass(frozen=True, slots=True)
class Unmodelled:
    """What one modelled element held beyond its model: (anchor, node) pairs, the anchor being
    the local name of the modelled child the node followed ("" before the first), and the
    attributes (name in {namespace}local form, value) it carried that the model has no field for."""

    nodes: tuple[tuple[str, XmlFragment], ...] = ()
    attributes: tuple[tuple[str, str], ...] = ()

    def __bool__(self) -> bool:
        return bool(self.nodes or self.attributes)
