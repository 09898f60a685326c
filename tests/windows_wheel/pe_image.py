"""What a Windows DLL needs and offers, read from its PE headers: the machine, the DLLs it imports
(delay-loaded ones included) with the names it imports from each, and the names it exports."""

from __future__ import annotations

import struct
from dataclasses import dataclass
from pathlib import Path

MACHINE_AMD64 = 0x8664
_EXPORTS, _IMPORTS, _DELAY_IMPORTS = 0, 1, 13


@dataclass(frozen=True)
class PeImage:
    machine: int
    imports: dict[str, tuple[str, ...]]  # DLL name -> imported names ("#N" for an ordinal)
    exports: tuple[str, ...]


def read_pe_image(path: Path) -> PeImage:
    data = path.read_bytes()
    (header,) = struct.unpack_from("<I", data, 0x3C)
    if data[header : header + 4] != b"PE\0\0":
        raise ValueError(f"{path.name} is not a PE image")
    machine, section_count = struct.unpack_from("<HH", data, header + 4)
    (optional_size,) = struct.unpack_from("<H", data, header + 20)
    optional = header + 24
    if struct.unpack_from("<H", data, optional)[0] != 0x20B:
        raise ValueError(f"{path.name} is not a 64-bit (PE32+) image")
    (directory_count,) = struct.unpack_from("<I", data, optional + 108)
    directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i) for i in range(directory_count)]
    sections = [struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8) for i in range(section_count)]

    def offset(rva: int) -> int:
        for virtual_size, address, raw_size, raw_offset in sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return rva - address + raw_offset
        raise ValueError(f"{path.name}: address {rva:#x} lies in no section")

    def text(rva: int) -> str:
        start = offset(rva)
        return data[start : data.index(b"\0", start)].decode("ascii")

    def imported_names(table: int) -> tuple[str, ...]:
        found = []
        while entry := struct.unpack_from("<Q", data, offset(table) + 8 * len(found))[0]:
            found.append(f"#{entry & 0xFFFF}" if entry >> 63 else text(entry + 2))  # past the hint
        return tuple(found)

    def descriptors(index: int, size: int, name_at: int, table_at: int) -> dict[str, tuple[str, ...]]:
        rva = directories[index][0] if index < directory_count else 0
        found = {}
        while rva:
            name, table = (struct.unpack_from("<I", data, offset(rva) + at)[0] for at in (name_at, table_at))
            if not name:
                break
            found[text(name)] = imported_names(table)
            rva += size
        return found

    exports: list[str] = []
    if directories[_EXPORTS][0]:
        table = offset(directories[_EXPORTS][0])
        count, _, names = struct.unpack_from("<III", data, table + 24)
        exports = [text(struct.unpack_from("<I", data, offset(names) + 4 * i)[0]) for i in range(count)]
    # An import descriptor's name and lookup table; a delay-load descriptor's name and name table.
    imports = descriptors(_IMPORTS, 20, 12, 0) | descriptors(_DELAY_IMPORTS, 32, 4, 16)
    return PeImage(machine, imports, tuple(exports))
