// Reading the bitmaps a keywatch module carries. Both builds end in the same
// bytes, a device-independent bitmap (BITMAPINFOHEADER, palette, pixel rows):
// on Windows they come from the DLL's RT_BITMAP resources, on Linux from the
// resource section of the shared object's file (resources/resource_section.h).
// Every size and offset read from the module is checked before it is used; a
// damaged module gives an error, never a read outside what was loaded.
#include "sim/module_resources.h"

#include <cstring>
#include <iterator>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <elf.h>

#include <fstream>
#include <vector>

#include "resources/resource_section.h"
#endif

namespace sim {

namespace {

// ---- Bytes -------------------------------------------------------------------

// A bounds-checked view of bytes read from the module.
struct Bytes {
    const uint8_t* data = nullptr;
    uint64_t size = 0;

    bool has(uint64_t offset, uint64_t length) const {
        return offset <= size && length <= size - offset;
    }
    uint16_t u16(uint64_t at) const {
        return static_cast<uint16_t>(data[at] | data[at + 1] << 8);
    }
    uint32_t u32(uint64_t at) const {
        return static_cast<uint32_t>(u16(at)) | static_cast<uint32_t>(u16(at + 2)) << 16;
    }
    template <typename T> T read(uint64_t at) const {
        T value;
        std::memcpy(&value, data + at, sizeof value);
        return value;
    }
};

// ---- DIB ---------------------------------------------------------------------

// Large enough for any gauge face, small enough that a corrupt header cannot
// ask for gigabytes.
constexpr int32_t max_dimension = 8192;

bool decode_dib(const Bytes& dib, Bitmap& out, std::string& error) {
    if (!dib.has(0, 40)) {
        error = "bitmap is shorter than its header";
        return false;
    }
    const uint32_t header_size = dib.u32(0);
    const int32_t width = static_cast<int32_t>(dib.u32(4));
    const int32_t raw_height = static_cast<int32_t>(dib.u32(8));
    const uint16_t planes = dib.u16(12);
    const uint16_t bits = dib.u16(14);
    const uint32_t compression = dib.u32(16);
    const uint32_t colours_used = dib.u32(32);

    if (header_size < 40 || !dib.has(0, header_size)) {
        error = "bitmap header size " + std::to_string(header_size) + " is invalid";
        return false;
    }
    // A negative height marks rows stored from the top down.
    const bool top_down = raw_height < 0;
    if (width <= 0 || width > max_dimension || raw_height == 0 || raw_height < -max_dimension ||
        raw_height > max_dimension) {
        error = "bitmap size " + std::to_string(width) + " x " + std::to_string(raw_height) +
                " is invalid";
        return false;
    }
    const int32_t height = top_down ? -raw_height : raw_height;
    if (planes != 1 || compression != 0 /* BI_RGB */ || (bits != 8 && bits != 24)) {
        error = "bitmap format (" + std::to_string(bits) + " bits, compression " +
                std::to_string(compression) + ") is not supported";
        return false;
    }

    uint64_t palette_size = 0;
    if (bits == 8) {
        palette_size = colours_used == 0 ? 256 : colours_used;
        if (palette_size > 256) {
            error = "bitmap palette of " + std::to_string(colours_used) + " colours is invalid";
            return false;
        }
    }
    const uint64_t palette_at = header_size;
    const uint64_t pixels_at = palette_at + 4 * palette_size;
    const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    if (!dib.has(palette_at, 4 * palette_size) ||
        !dib.has(pixels_at, stride * static_cast<uint64_t>(height))) {
        error = "bitmap data is truncated";
        return false;
    }

    // Palette entries and 24-bit pixels are stored blue, green, red.
    auto colour_at = [&](uint64_t at) {
        return static_cast<uint32_t>(dib.data[at + 2]) << 16 |
               static_cast<uint32_t>(dib.data[at + 1]) << 8 | dib.data[at];
    };
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y) {
        const int32_t stored_row = top_down ? y : height - 1 - y;
        const uint64_t row_at = pixels_at + stride * static_cast<uint64_t>(stored_row);
        for (int32_t x = 0; x < width; ++x) {
            uint32_t colour;
            if (bits == 8) {
                const uint8_t index = dib.data[row_at + static_cast<uint64_t>(x)];
                if (index >= palette_size) {
                    error = "bitmap pixel uses colour " + std::to_string(index) +
                            " beyond its palette of " + std::to_string(palette_size);
                    return false;
                }
                colour = colour_at(palette_at + 4u * index);
            } else {
                colour = colour_at(row_at + 3 * static_cast<uint64_t>(x));
            }
            pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                colour;
        }
    }

    out.width = width;
    out.height = height;
    out.bits_per_pixel = bits;
    out.pixels = std::move(pixels);
    return true;
}

#ifndef _WIN32

// ---- ELF resource section ------------------------------------------------------

// The module's file, read a range at a time: the section headers sit at its
// end, and the resource section is a few kilobytes of a file of several
// hundred that every gauge install reads three times (once per bitmap).
struct ModuleFile {
    std::ifstream in;
    uint64_t size = 0;

    bool open(const std::string& path, std::string& error) {
        in.open(path, std::ios::binary | std::ios::ate);
        const std::streamoff end = in ? std::streamoff(in.tellg()) : -1;
        if (end < 0) {
            error = "cannot open module file " + path;
            return false;
        }
        size = uint64_t(end);
        return true;
    }
    // The `length` bytes at `offset`; false when they are not all in the file.
    bool read(uint64_t offset, uint64_t length, std::vector<uint8_t>& out) {
        if (offset > size || length > size - offset)
            return false;
        out.resize(size_t(length));
        in.seekg(std::streamoff(offset));
        return bool(in.read(reinterpret_cast<char*>(out.data()), std::streamsize(length)));
    }
};

// Reads the named section of an ELF64 little-endian file into `section`.
bool find_section(ModuleFile& file, const char* name, std::vector<uint8_t>& section,
                  std::string& error) {
    std::vector<uint8_t> bytes;
    if (!file.read(0, sizeof(Elf64_Ehdr), bytes) ||
        std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0) {
        error = "not an ELF file";
        return false;
    }
    if (bytes[EI_CLASS] != ELFCLASS64 || bytes[EI_DATA] != ELFDATA2LSB) {
        error = "not a 64-bit little-endian ELF file";
        return false;
    }
    const auto ehdr = Bytes{bytes.data(), bytes.size()}.read<Elf64_Ehdr>(0);
    std::vector<uint8_t> table;
    if (ehdr.e_shentsize != sizeof(Elf64_Shdr) || ehdr.e_shnum == 0 ||
        !file.read(ehdr.e_shoff, static_cast<uint64_t>(ehdr.e_shnum) * sizeof(Elf64_Shdr), table)) {
        error = "ELF section headers are missing or truncated";
        return false;
    }
    auto header = [&](uint32_t index) {
        return Bytes{table.data(), table.size()}.read<Elf64_Shdr>(index * sizeof(Elf64_Shdr));
    };
    if (ehdr.e_shstrndx >= ehdr.e_shnum) {
        error = "ELF section name table is missing";
        return false;
    }
    const Elf64_Shdr names_header = header(ehdr.e_shstrndx);
    std::vector<uint8_t> names;
    if (names_header.sh_type != SHT_STRTAB ||
        !file.read(names_header.sh_offset, names_header.sh_size, names)) {
        error = "ELF section name table is truncated";
        return false;
    }

    const size_t name_length = std::strlen(name);
    for (uint32_t i = 0; i < ehdr.e_shnum; ++i) {
        const Elf64_Shdr sh = header(i);
        // The name must end with its NUL inside the name table.
        if (sh.sh_name >= names.size() || names.size() - sh.sh_name <= name_length ||
            std::memcmp(names.data() + sh.sh_name, name, name_length + 1) != 0)
            continue;
        if (sh.sh_type != SHT_PROGBITS || !file.read(sh.sh_offset, sh.sh_size, section)) {
            error = std::string("section ") + name + " is truncated";
            return false;
        }
        return true;
    }
    error = std::string("module file has no ") + name + " section";
    return false;
}

bool find_resource(const Bytes& section, uint32_t type, uint32_t id, Bytes& resource,
                   std::string& error) {
    if (!section.has(0, sizeof(KeywatchRsrcHeader))) {
        error = "resource section is too short";
        return false;
    }
    const auto header = section.read<KeywatchRsrcHeader>(0);
    if (std::memcmp(header.magic, KEYWATCH_RSRC_MAGIC, sizeof header.magic) != 0) {
        error = "resource section has a wrong magic";
        return false;
    }
    if (!section.has(sizeof header,
                     static_cast<uint64_t>(header.count) * sizeof(KeywatchRsrcEntry))) {
        error = "resource table of " + std::to_string(header.count) + " entries is truncated";
        return false;
    }
    for (uint32_t i = 0; i < header.count; ++i) {
        const auto entry =
            section.read<KeywatchRsrcEntry>(sizeof header + i * sizeof(KeywatchRsrcEntry));
        if (entry.type != type || entry.id != id)
            continue;
        if (!section.has(entry.offset, entry.size)) {
            error = "resource " + std::to_string(id) + " lies outside the resource section";
            return false;
        }
        resource.data = section.data + entry.offset;
        resource.size = entry.size;
        return true;
    }
    error = "module has no bitmap " + std::to_string(id);
    return false;
}

#endif

} // namespace

// ---- Loading -------------------------------------------------------------------

#ifdef _WIN32

bool load_module_bitmap(void* module_handle, const std::string& module_file, uint32_t id,
                        Bitmap& out, std::string& error) {
    HMODULE module = static_cast<HMODULE>(module_handle);
    if (module == nullptr) {
        error = "no module handle for " + module_file;
        return false;
    }
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    if (info == nullptr) {
        error = "module has no bitmap " + std::to_string(id);
        return false;
    }
    HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        error = "cannot load bitmap " + std::to_string(id);
        return false;
    }
    Bytes dib{static_cast<const uint8_t*>(data), SizeofResource(module, info)};
    if (!decode_dib(dib, out, error)) {
        error = "bitmap " + std::to_string(id) + ": " + error;
        return false;
    }
    return true;
}

#else

bool load_module_bitmap(void* /*module_handle*/, const std::string& module_file, uint32_t id,
                        Bitmap& out, std::string& error) {
    // The dynamic loader maps only the loadable segments, so the section is
    // found from the module's file rather than from its handle.
    ModuleFile file;
    if (!file.open(module_file, error))
        return false;
    std::vector<uint8_t> section_bytes;
    Bytes resource;
    if (!find_section(file, KEYWATCH_RSRC_SECTION, section_bytes, error) ||
        !find_resource(Bytes{section_bytes.data(), section_bytes.size()}, KEYWATCH_RSRC_BITMAP, id,
                       resource, error)) {
        error = module_file + ": " + error;
        return false;
    }
    if (!decode_dib(resource, out, error)) {
        error = module_file + ": bitmap " + std::to_string(id) + ": " + error;
        return false;
    }
    return true;
}

#endif

} // namespace sim
