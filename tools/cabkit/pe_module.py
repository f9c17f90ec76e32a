"""Reads what a Windows module says about itself: its version resource and the classes of its
type library, from the file's bytes (Python's standard library only). Used by tools/cabkit/cabkit
and scripts/release."""
import struct

RT_VERSION = 16
TKIND_COCLASS = 5


class NotAModule(Exception):
    """The bytes are no PE image, or a damaged one."""


class PeImage:
    """The resources of a 32- or 64-bit PE image, read from its bytes."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ" or len(data) < 64:
            raise NotAModule("not a module (no MZ header)")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise NotAModule("not a module (no PE header)")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        at = optional + optional_size
        for _ in range(sections):
            vsize, va, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((va, max(vsize, raw_size), raw_at))
            at += 40

    def offset(self, rva):
        for va, size, raw_at in self.sections:
            if va <= rva < va + size:
                return raw_at + rva - va
        raise NotAModule("damaged module: address outside its sections")

    def _directory(self, at):
        """(id or name, is_directory, offset within the resource section) of each entry."""
        base = self.offset(self.resource_rva)
        named, numbered = struct.unpack_from("<HH", self.data, base + at + 12)
        entries = []
        for i in range(named + numbered):
            key, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
            if key & 0x80000000:
                name_at = base + (key & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, name_at)[0]
                key = self.data[name_at + 2:name_at + 2 + 2 * length].decode("utf-16-le")
            entries.append((key, bool(target & 0x80000000), target & 0x7FFFFFFF))
        return entries

    def resources(self, kind):
        """The data of every resource of a type (a number, or a name such as "TYPELIB")."""
        if not self.resource_rva:
            return []
        found = []
        for key, _, names_at in self._directory(0):
            if key != kind:
                continue
            for _, _, languages_at in self._directory(names_at):
                for _, _, entry_at in self._directory(languages_at):
                    base = self.offset(self.resource_rva)
                    rva, size = struct.unpack_from("<II", self.data, base + entry_at)
                    start = self.offset(rva)
                    found.append(self.data[start:start + size])
        return found


def module_version(image):
    """(a, b, c, d) of the version resource's fixed part, or None; and whether the resource
    says OLESelfRegister."""
    for block in image.resources(RT_VERSION):
        at = block.find(struct.pack("<I", 0xFEEF04BD))
        if at < 0:
            continue
        ms, ls = struct.unpack_from("<II", block, at + 8)
        self_register = "OLESelfRegister".encode("utf-16-le") in block
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), self_register
    return None, False


def type_library_classes(image):
    """[(class id, name)] of every coclass in the module's type libraries (MSFT format)."""
    classes = []
    for tlb in image.resources("TYPELIB"):
        if tlb[:4] != b"MSFT":
            continue
        count, varflags = struct.unpack_from("<i", tlb, 0x20)[0], struct.unpack_from("<i", tlb, 0x14)[0]
        at = 0x54 + (4 if varflags & 0x100 else 0) + 4 * count  # header, help DLL, offsets
        segments = [struct.unpack_from("<ii", tlb, at + 16 * i) for i in range(15)]
        typeinfos, guids, names = segments[0][0], segments[5][0], segments[7][0]
        for i in range(count):
            info = typeinfos + 0x64 * i
            kind = struct.unpack_from("<i", tlb, info)[0] & 0xF
            guid_at, _, name_at = struct.unpack_from("<iii", tlb, info + 0x2C)
            if kind != TKIND_COCLASS or guid_at < 0:
                continue
            d1, d2, d3 = struct.unpack_from("<IHH", tlb, guids + guid_at)
            d4 = tlb[guids + guid_at + 8:guids + guid_at + 16]
            clsid = "{%08X-%04X-%04X-%s-%s}" % (d1, d2, d3, d4[:2].hex().upper(),
                                                d4[2:].hex().upper())
            length = tlb[names + name_at + 8]
            name = tlb[names + name_at + 12:names + name_at + 12 + length].decode("latin-1")
            classes.append((clsid, name))
    return classes
