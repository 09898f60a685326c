"""A model of SDDL texts, read and written back, from Microsoft's documentation.

Pages: "Security Descriptor String Format", "ACE Strings", "SID Strings", "SID Components",
ConvertStringSecurityDescriptorToSecurityDescriptor and its reverse, "Well-known SIDs", and the
winnt.h values of the ACE types, ACE flags and access masks they name. Where the documentation is
silent the model takes morvane's decision, marked DECIDED; nothing here is read from winemu's code.

`canonical(text)` answers the canonical text, or the Win32 error code of the refusal.

Documented:
- A descriptor string is "O:owner_sid G:group_sid D:dacl_flags(string_ace1)(string_ace2)...
  S:sacl_flags(string_ace1)...", parts left out as wanted. dacl_flags are "P", "AR", "AI" and
  "NO_ACCESS_CONTROL" (a NULL ACL).
- An ACE is "ace_type;ace_flags;rights;object_guid;inherit_object_guid;account_sid".
- Rights: a hexadecimal number such as "0x7800003F", or a concatenation of the letter codes.
- A SID string is "S-R-I-S-S..." with revision 1, or a SID string constant ("BA"); a SID has 1 to
  15 sub-authorities (SID_MAX_SUB_AUTHORITIES); an identifier authority of 2^32 or more is written
  in hex ("0x" and twelve digits, ConvertSidToStringSid).
- The ACL size is a WORD: an ACL of more than 65,535 bytes cannot be built. Sizes: ACL header 8,
  ACE header and mask 8, object ACE flags 4 and 16 a GUID, SID 8 and 4 a sub-authority.
- Refusals are ERROR_INVALID_PARAMETER, ERROR_INVALID_ACL, ERROR_INVALID_SID; aliases of domain
  groups on a computer outside a domain map to no SID (ERROR_NONE_MAPPED).

DECIDED (the documentation is silent, or Windows' behaviour is recorded elsewhere):
- A part runs up to the letter before the next ':'; each part at most once, in any order.
- Rights may also be decimal; letter codes and numbers do not mix.
- Allow and deny ACEs (A, D, OA, OD) belong to a DACL, audit, alarm and label ACEs (AU, AL, OU,
  OL, ML) to a SACL; conditional and resource ACE types are refused (ERROR_INVALID_ACL, or
  ERROR_INVALID_PARAMETER where their parentheses nest); object GUIDs only on object ACEs.
- Errors: of an ACE's fields ERROR_INVALID_ACL, of its SID ERROR_INVALID_SID; of the parts'
  structure ERROR_INVALID_PARAMETER. The first error met reading left to right is answered.
- Writing: parts O, G, D, S; ACL flags P, AR, AI; ACE flags and single-bit rights in ascending
  bit order; a mask equal to FA, FR, FW, FX, KA, KR or KW by that name; hex (lowercase) when the
  codes cannot cover it; a zero mask as nothing; GUIDs in lowercase; SIDs by alias when they have one.
- The computer's domain SID is S-1-5-21-0-0-0 (LA is its -500, LG its -501).
"""

from __future__ import annotations

import re
from collections.abc import Iterator

ERROR_INVALID_PARAMETER = 87
ERROR_NONE_MAPPED = 1332
ERROR_INVALID_ACL = 1336
ERROR_INVALID_SID = 1337

MAX_TEXT = 1 << 20  # DECIDED: far above any text of a descriptor whose ACLs fit

# SID string constants ("SID Strings") that a computer outside a domain maps.
ALIASES = {
    "AA": "S-1-5-32-579", "AC": "S-1-15-2-1", "AN": "S-1-5-7", "AO": "S-1-5-32-548", "AS": "S-1-18-1",
    "AU": "S-1-5-11", "BA": "S-1-5-32-544", "BG": "S-1-5-32-546", "BO": "S-1-5-32-551", "BU": "S-1-5-32-545",
    "CD": "S-1-5-32-574", "CG": "S-1-3-1", "CO": "S-1-3-0", "CY": "S-1-5-32-569", "ED": "S-1-5-9",
    "ER": "S-1-5-32-573", "HA": "S-1-5-32-578", "HI": "S-1-16-12288", "IS": "S-1-5-32-568", "IU": "S-1-5-4",
    "LA": "S-1-5-21-0-0-0-500", "LG": "S-1-5-21-0-0-0-501", "LS": "S-1-5-19", "LU": "S-1-5-32-559",
    "LW": "S-1-16-4096", "ME": "S-1-16-8192", "MP": "S-1-16-8448", "MU": "S-1-5-32-558", "NO": "S-1-5-32-556",
    "NS": "S-1-5-20", "NU": "S-1-5-2", "OW": "S-1-3-4", "PO": "S-1-5-32-550", "PS": "S-1-5-10",
    "PU": "S-1-5-32-547", "RC": "S-1-5-12", "RD": "S-1-5-32-555", "RE": "S-1-5-32-552", "RM": "S-1-5-32-580",
    "RU": "S-1-5-32-554", "SI": "S-1-16-16384", "SO": "S-1-5-32-549", "SS": "S-1-18-2", "SU": "S-1-5-6",
    "SY": "S-1-5-18", "WD": "S-1-1-0", "WR": "S-1-5-33",
}
DOMAIN_ALIASES = {"AP", "CA", "CN", "DA", "DC", "DD", "DG", "DU", "EA", "EK", "KA", "PA", "RO", "RS", "SA"}
ALIAS_OF = {sid: alias for alias, sid in ALIASES.items()}

# ace_type: (in a DACL, object ACE)
ACE_TYPES = {
    "A": (True, False), "D": (True, False), "OA": (True, True), "OD": (True, True),
    "AU": (False, False), "AL": (False, False), "OU": (False, True), "OL": (False, True), "ML": (False, False),
}
ACE_FLAGS = {"OI": 0x1, "CI": 0x2, "NP": 0x4, "IO": 0x8, "ID": 0x10, "SA": 0x40, "FA": 0x80}
GENERIC = {"GA": 0x10000000, "GX": 0x20000000, "GW": 0x40000000, "GR": 0x80000000}
STANDARD = {"SD": 0x10000, "RC": 0x20000, "WD": 0x40000, "WO": 0x80000}
DIRECTORY = {"CC": 0x1, "DC": 0x2, "LC": 0x4, "SW": 0x8, "RP": 0x10, "WP": 0x20, "DT": 0x40, "LO": 0x80, "CR": 0x100}
NAMED = {"FA": 0x1F01FF, "FR": 0x120089, "FW": 0x120116, "FX": 0x1200A0, "KA": 0xF003F, "KR": 0x20019, "KW": 0x20006}
LABEL = {"NW": 0x1, "NR": 0x2, "NX": 0x4}
RIGHTS = {**GENERIC, **STANDARD, **DIRECTORY, **NAMED, **LABEL, "KX": 0x20019}
SINGLE_BITS = sorted({**GENERIC, **STANDARD, **DIRECTORY}.items(), key=lambda item: item[1])
ACL_FLAGS = [("P", "protected"), ("AR", "auto_inherit_req"), ("AI", "auto_inherited")]

GUID = re.compile(r"[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}")
SID_TEXT = re.compile(r"S-([0-9]+)-(0[xX][0-9A-Fa-f]+|[0-9]+)((?:-[0-9]+)+)")


class Refused(Exception):
    def __init__(self, error: int) -> None:
        super().__init__(error)
        self.error = error


def sid(text: str) -> str:
    """The S-1-... text of a SID string, or Refused."""
    if len(text) == 2 and not text.startswith("S-"):
        if text in ALIASES:
            return ALIASES[text]
        raise Refused(ERROR_NONE_MAPPED if text in DOMAIN_ALIASES else ERROR_INVALID_SID)
    found = SID_TEXT.fullmatch(text)
    if not found or not text.isascii():
        raise Refused(ERROR_INVALID_SID)
    revision, authority_text, rest = found.groups()
    subs = [int(part) for part in rest[1:].split("-")]
    hex_authority = authority_text[:2].lower() == "0x"
    authority = int(authority_text, 16 if hex_authority else 10)
    if int(revision) != 1 or len(subs) > 15 or any(sub >= 2**32 for sub in subs):
        raise Refused(ERROR_INVALID_SID)
    if authority >= (2**48 if hex_authority else 2**32):
        raise Refused(ERROR_INVALID_SID)
    written = f"0x{authority:012X}" if authority >= 2**32 else str(authority)
    return "-".join(["S-1", written, *map(str, subs)])


def pairs(text: str) -> list[str] | None:
    return [text[i : i + 2] for i in range(0, len(text), 2)] if len(text) % 2 == 0 else None


def rights(text: str) -> int:
    if text == "":
        return 0
    number = re.fullmatch(r"0[xX]([0-9A-Fa-f]+)|([0-9]+)", text)
    if number:
        value = int(number.group(1), 16) if number.group(1) is not None else int(number.group(2))
        if value < 2**32 and text.isascii():
            return value
        raise Refused(ERROR_INVALID_ACL)
    codes = pairs(text)
    if codes is None or any(code not in RIGHTS for code in codes):
        raise Refused(ERROR_INVALID_ACL)
    mask = 0
    for code in codes:
        mask |= RIGHTS[code]
    return mask


def ace(text: str, in_dacl: bool) -> tuple[dict, int]:
    fields = text.split(";")
    if len(fields) != 6:
        raise Refused(ERROR_INVALID_ACL)
    kind, flag_text, rights_text, object_guid, inherited_guid, sid_text = fields
    if kind not in ACE_TYPES or ACE_TYPES[kind][0] != in_dacl:
        raise Refused(ERROR_INVALID_ACL)
    flag_codes = pairs(flag_text)
    if flag_codes is None or any(code not in ACE_FLAGS for code in flag_codes):
        raise Refused(ERROR_INVALID_ACL)
    mask = rights(rights_text)
    for guid in (object_guid, inherited_guid):
        if guid and (not GUID.fullmatch(guid) or not guid.isascii() or not ACE_TYPES[kind][1]):
            raise Refused(ERROR_INVALID_ACL)
    account = sid(sid_text)
    flags = 0
    for code in flag_codes:
        flags |= ACE_FLAGS[code]
    size = 8 + 8 + 4 * (account.count("-") - 2)
    if ACE_TYPES[kind][1]:
        size += 4 + 16 * (bool(object_guid) + bool(inherited_guid))
    guids = (object_guid.lower(), inherited_guid.lower())
    entry = {"type": kind, "flags": flags, "mask": mask, "guids": guids, "sid": account}
    return entry, size


def acl(text: str, in_dacl: bool) -> dict:
    found = re.match(r"(?:P|AR|AI)*", text)
    flag_text = found.group(0) if found else ""
    rest = text[len(flag_text) :]
    null = rest.startswith("NO_ACCESS_CONTROL")
    if null:
        rest = rest[len("NO_ACCESS_CONTROL") :]
        if rest:  # DECIDED: NO_ACCESS_CONTROL ends the part
            raise Refused(ERROR_INVALID_PARAMETER)
    flags = {name for code, name in ACL_FLAGS if code in re.findall(r"P|AR|AI", flag_text)}
    aces, size = [], 8
    while rest:
        found = re.match(r"\(([^()]*)\)", rest)
        if not found:
            raise Refused(ERROR_INVALID_PARAMETER)
        entry, ace_size = ace(found.group(1), in_dacl)
        size += ace_size
        if size > 0xFFFF:
            raise Refused(ERROR_INVALID_ACL)
        aces.append(entry)
        rest = rest[found.end() :]
    return {"flags": flags, "aces": None if null else aces}


def parts(text: str) -> Iterator[tuple[str, str]]:
    """Each part's letter and body, in order (lazily: an earlier part's error comes first)."""
    colons = [i for i, char in enumerate(text) if char == ":"]
    if text and (not colons or colons[0] != 1):
        raise Refused(ERROR_INVALID_PARAMETER)
    for index, colon in enumerate(colons):
        end = colons[index + 1] - 1 if index + 1 < len(colons) else len(text)
        if end < colon + 1:
            raise Refused(ERROR_INVALID_PARAMETER)
        yield text[colon - 1], text[colon + 1 : end]


def read(text: str) -> dict:
    if len(text.encode("utf-16-le", "surrogatepass")) // 2 > MAX_TEXT:
        raise Refused(ERROR_INVALID_PARAMETER)
    descriptor: dict = {}
    for letter, body in parts(text):
        if letter not in "OGDS" or letter in descriptor:
            raise Refused(ERROR_INVALID_PARAMETER)
        descriptor[letter] = sid(body) if letter in "OG" else acl(body, letter == "D")
    return descriptor


def written_rights(mask: int, kind: str) -> str:
    if mask == 0:
        return ""
    for code, value in NAMED.items():
        if mask == value:
            return code
    codes = sorted(LABEL.items(), key=lambda item: item[1]) if kind == "ML" else SINGLE_BITS
    if mask & ~sum(value for _, value in codes):
        return f"0x{mask:x}"
    return "".join(code for code, value in codes if mask & value)


def write(descriptor: dict) -> str:
    out = ""
    for letter in "OG":
        if letter in descriptor:
            out += f"{letter}:{ALIAS_OF.get(descriptor[letter], descriptor[letter])}"
    for letter in "DS":
        if letter not in descriptor:
            continue
        part = descriptor[letter]
        out += letter + ":" + "".join(code for code, name in ACL_FLAGS if name in part["flags"])
        if part["aces"] is None:
            out += "NO_ACCESS_CONTROL"
            continue
        for entry in part["aces"]:
            flags = "".join(code for code, value in ACE_FLAGS.items() if entry["flags"] & value)
            account = ALIAS_OF.get(entry["sid"], entry["sid"])
            out += f"({entry['type']};{flags};{written_rights(entry['mask'], entry['type'])};"
            out += f"{entry['guids'][0]};{entry['guids'][1]};{account})"
    return out


def canonical(text: str) -> str | int:
    """The canonical text of `text`, or the Win32 error code refusing it."""
    try:
        return write(read(text))
    except Refused as refusal:
        return refusal.error
