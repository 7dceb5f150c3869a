// The built executable's own headers: what the loader will make of it.
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "harness.h"

namespace {

class Image {
 public:
  explicit Image(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
  }
  size_t size() const { return bytes_.size(); }
  template <typename T>
  T At(uint64_t offset) const {
    T value{};
    if (offset <= bytes_.size() && sizeof(T) <= bytes_.size() - offset)
      std::memcpy(&value, bytes_.data() + offset, sizeof(T));
    else
      ADD_FAILURE() << "read past the end of the file at " << offset;
    return value;
  }
  std::string String(uint64_t offset) const {
    std::string s;
    while (offset < bytes_.size() && bytes_[offset]) s += bytes_[offset++];
    return s;
  }
  std::string Bytes(uint64_t offset, uint64_t length) const {
    if (offset > bytes_.size()) return "";
    return std::string(
        bytes_.begin() + offset,
        bytes_.begin() + std::min<uint64_t>(bytes_.size(), offset + length));
  }

 private:
  std::vector<char> bytes_;
};

// ---- Linux: ELF -----------------------------------------------------------

struct ElfExpectation {
  const char* target;
  unsigned char elfClass;
  unsigned char byteOrder;
  uint16_t machine;
  // ET_DYN: position-independent, so the kernel can place it anywhere.
  // ET_EXEC: linked to run at one address (MIPS, whose position-independent
  // code needs a loader).
  uint16_t type;
  // The largest page the target's kernels map: no page of it may hold both
  // code and data, or the code would be writable there or the data
  // executable.
  uint64_t largestPage;
  // arm64: the features its GNU property note gives the kernel, BTI landing
  // pads (1) and PAC return addresses (2); elsewhere no such note.
  uint32_t aarch64Features = 0;
};

const ElfExpectation ElfTargets[] = {
    {"linux-x86_64", ELFCLASS64, ELFDATA2LSB, EM_X86_64, ET_DYN, 0x1000},
    {"linux-i386", ELFCLASS32, ELFDATA2LSB, EM_386, ET_DYN, 0x1000},
    {"linux-arm64", ELFCLASS64, ELFDATA2LSB, EM_AARCH64, ET_DYN, 0x10000, 3},
    {"linux-riscv64", ELFCLASS64, ELFDATA2LSB, EM_RISCV, ET_DYN, 0x1000},
    {"linux-armel", ELFCLASS32, ELFDATA2LSB, EM_ARM, ET_DYN, 0x1000},
    {"linux-armhf", ELFCLASS32, ELFDATA2LSB, EM_ARM, ET_DYN, 0x1000},
    {"linux-mipsel", ELFCLASS32, ELFDATA2LSB, EM_MIPS, ET_EXEC, 0x10000},
    {"linux-mips64el", ELFCLASS64, ELFDATA2LSB, EM_MIPS, ET_EXEC, 0x10000},
    {"linux-ppc64el", ELFCLASS64, ELFDATA2LSB, EM_PPC64, ET_DYN, 0x10000},
    {"linux-s390x", ELFCLASS64, ELFDATA2MSB, EM_S390, ET_DYN, 0x1000},
};

// The headers' fields in this machine's byte order, from a file in its own.
template <typename... Fields>
void Reorder(bool swap, Fields&... fields) {
  const auto reverse = [](auto& field) {
    auto* bytes = reinterpret_cast<unsigned char*>(&field);
    std::reverse(bytes, bytes + sizeof field);
  };
  if (swap) (reverse(fields), ...);
}
template <typename Ehdr>
Ehdr ElfHeader(const Image& image, bool swap) {
  auto h = image.At<Ehdr>(0);
  Reorder(swap, h.e_type, h.e_machine, h.e_version, h.e_entry, h.e_phoff,
          h.e_shoff, h.e_flags, h.e_ehsize, h.e_phentsize, h.e_phnum,
          h.e_shentsize, h.e_shnum, h.e_shstrndx);
  return h;
}
template <typename Phdr>
Phdr ProgramHeader(const Image& image, uint64_t at, bool swap) {
  auto p = image.At<Phdr>(at);
  Reorder(swap, p.p_type, p.p_flags, p.p_offset, p.p_vaddr, p.p_paddr,
          p.p_filesz, p.p_memsz, p.p_align);
  return p;
}
template <typename Dyn>
Dyn DynamicEntry(const Image& image, uint64_t at, bool swap) {
  auto d = image.At<Dyn>(at);
  Reorder(swap, d.d_tag, d.d_un.d_val);
  return d;
}

template <typename Ehdr, typename Phdr, typename Dyn>
void CheckElf(const Image& image, const ElfExpectation& e) {
  const bool swap =
      e.byteOrder !=
      (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? ELFDATA2MSB : ELFDATA2LSB);
  const auto header = ElfHeader<Ehdr>(image, swap);
  EXPECT_EQ(header.e_machine, e.machine);
  EXPECT_EQ(header.e_type, e.type);
  bool stackSeen = false, entryExecutable = false;
  uint64_t writable = 0;  // bytes of memory for data
  std::vector<std::pair<uint64_t, uint64_t>> loadPages;  // first, last
  uint32_t features[2] = {};  // from PT_GNU_PROPERTY, from PT_NOTE
  std::vector<Dyn> dynamic;
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    const auto ph = ProgramHeader<Phdr>(
        image, header.e_phoff + i * header.e_phentsize, swap);
    SCOPED_TRACE("program header " + std::to_string(i));
    EXPECT_NE(ph.p_type, (uint32_t)PT_INTERP) << "asks for a dynamic loader";
    EXPECT_NE(ph.p_type, (uint32_t)PT_TLS);
    if (ph.p_type == PT_GNU_STACK) {
      stackSeen = true;
      EXPECT_FALSE(ph.p_flags & PF_X) << "executable stack";
    }
    if (ph.p_type == PT_LOAD) {
      EXPECT_FALSE((ph.p_flags & PF_W) && (ph.p_flags & PF_X))
          << "segment both writable and executable";
      if ((ph.p_flags & PF_X) && header.e_entry >= ph.p_vaddr &&
          header.e_entry < ph.p_vaddr + ph.p_memsz)
        entryExecutable = true;
      if (ph.p_flags & PF_W) writable += ph.p_memsz;
      const uint64_t first = ph.p_vaddr / e.largestPage,
                     last = (ph.p_vaddr + ph.p_memsz - 1) / e.largestPage;
      for (const auto& [otherFirst, otherLast] : loadPages)
        EXPECT_TRUE(last < otherFirst || first > otherLast)
            << "two segments share a page of " << e.largestPage << " bytes";
      loadPages.emplace_back(first, last);
    }
    // The note the kernel reads (PT_GNU_PROPERTY) and readelf -n shows
    // (PT_NOTE): "GNU", then GNU_PROPERTY_AARCH64_FEATURE_1_AND and its
    // bits.
    if (ph.p_type == PT_GNU_PROPERTY || ph.p_type == PT_NOTE) {
      ASSERT_GE(ph.p_filesz, 32u) << "an empty note header";
      uint32_t words[7];
      for (int w = 0; w < 7; ++w) {
        words[w] = image.At<uint32_t>(ph.p_offset + 4 * w);
        Reorder(swap, words[w]);
      }
      EXPECT_EQ(image.Bytes(ph.p_offset + 12, 4), std::string("GNU\0", 4));
      EXPECT_EQ(words[2], (uint32_t)NT_GNU_PROPERTY_TYPE_0);
      EXPECT_EQ(words[4], 0xc0000000u);  // GNU_PROPERTY_AARCH64_FEATURE_1_AND
      features[ph.p_type == PT_NOTE] = words[6];
    }
    if (ph.p_type == PT_DYNAMIC)
      for (uint64_t at = ph.p_offset; at < ph.p_offset + ph.p_filesz;
           at += sizeof(Dyn))
        dynamic.push_back(DynamicEntry<Dyn>(image, at, swap));
  }
  EXPECT_TRUE(stackSeen) << "no PT_GNU_STACK: the stack would be executable";
  EXPECT_EQ(features[0], e.aarch64Features) << "in PT_GNU_PROPERTY";
  EXPECT_EQ(features[1], e.aarch64Features) << "in PT_NOTE";
  EXPECT_TRUE(entryExecutable) << "entry point outside executable code";
  // A program that never reads holds none of the read's state: the layer's
  // store for a terminal line alone is 4 KiB (the guard's own storage, on
  // s390x a thread block, is some tens of bytes).
  if (!target.reads) EXPECT_LT(writable, 4096u) << "read code is linked in";
  // Nothing for a loader to do: no libraries, no relocations.
  for (const Dyn& d : dynamic) {
    SCOPED_TRACE("dynamic tag " + std::to_string(d.d_tag));
    EXPECT_NE(d.d_tag, DT_NEEDED);
    if (d.d_tag == DT_RELSZ || d.d_tag == DT_RELASZ || d.d_tag == DT_PLTRELSZ ||
        d.d_tag == DT_RELRSZ)
      EXPECT_EQ(d.d_un.d_val, 0u) << "dynamic relocations";
    EXPECT_NE(d.d_tag, DT_TEXTREL);
    EXPECT_NE(d.d_tag, DT_INIT);
    EXPECT_NE(d.d_tag, DT_INIT_ARRAY) << "code would run before the entry";
    EXPECT_NE(d.d_tag, DT_PREINIT_ARRAY);
  }
}

// ---- Windows: PE ----------------------------------------------------------

struct PeExpectation {
  const char* target;
  uint16_t machine;
  uint16_t magic;
  bool highEntropy;
  // The load configuration: the least size from which every loader from
  // Windows 7 on reads the cookie's address (x86: through SEHandlerCount),
  // where that address is in it, and the value the loader replaces.
  uint32_t loadConfigSize, cookieField;
  uint64_t defaultCookie;
  // x86 only: no exception handler may be called in the image.
  bool noSeh;
  // How PROGRAM_ENTRY's entry starts: it aligns the stack.
  std::string entryCode;
};

const PeExpectation PeTargets[] = {
    {"windows-x86", 0x14c, 0x10b, false, 72, 60, 0xBB40E64E, true,
     "\x55\x89\xe5\x83\xe4\xf0"},
    {"windows-x64", 0x8664, 0x20b, true, 112, 88, 0x00002B992DDFA232, false,
     "\x55\x48\x89\xe5\x48\x83\xe4\xf0"},
};

constexpr uint16_t SubsystemConsole = 3;
constexpr uint16_t DynamicBase = 0x40, NxCompat = 0x100, HighEntropyVa = 0x20,
                   NoSeh = 0x400, TerminalServerAware = 0x8000;
// Windows 7 (6.1) refuses an image that asks for a later subsystem version.
constexpr uint32_t OldestWindows = 0x60001;
constexpr uint32_t SectionExecute = 0x20000000, SectionWrite = 0x80000000;
constexpr uint32_t ResourceManifest = 24;
constexpr int BaseRelocationDirectory = 5, LoadConfigDirectory = 10;
constexpr uint16_t RelocationsStripped = 0x1;

struct Section {
  std::string name;
  uint32_t virtualAddress, virtualSize, rawOffset, rawSize, flags;
};

class Pe {
 public:
  explicit Pe(const Image& image) : image_(image) {
    const uint32_t pe = image.At<uint32_t>(0x3c);
    EXPECT_EQ(image.Bytes(pe, 4), std::string("PE\0\0", 4));
    machine = image.At<uint16_t>(pe + 4);
    characteristics = image.At<uint16_t>(pe + 22);
    const uint16_t sectionCount = image.At<uint16_t>(pe + 6);
    const uint16_t optionalSize = image.At<uint16_t>(pe + 20);
    const uint32_t optional = pe + 24;
    magic = image.At<uint16_t>(optional);
    imageBase = magic == 0x20b ? image.At<uint64_t>(optional + 24)
                               : image.At<uint32_t>(optional + 28);
    entry = image.At<uint32_t>(optional + 16);
    subsystemVersion = image.At<uint16_t>(optional + 48) << 16 |
                       image.At<uint16_t>(optional + 50);
    checksumField = optional + 64;
    checksum = image.At<uint32_t>(checksumField);
    subsystem = image.At<uint16_t>(optional + 68);
    dllCharacteristics = image.At<uint16_t>(optional + 70);
    const uint32_t directories = optional + (magic == 0x20b ? 112 : 96);
    for (int i = 0; i < 16; ++i) {
      directory[i] = image.At<uint32_t>(directories + 8 * i);
      directorySize[i] = image.At<uint32_t>(directories + 8 * i + 4);
    }
    for (uint16_t i = 0; i < sectionCount; ++i) {
      const uint32_t at = optional + optionalSize + 40 * i;
      sections.push_back(
          {image.Bytes(at, 8).c_str(), image.At<uint32_t>(at + 12),
           image.At<uint32_t>(at + 8), image.At<uint32_t>(at + 20),
           image.At<uint32_t>(at + 16), image.At<uint32_t>(at + 36)});
    }
  }
  uint64_t FileOffset(uint32_t rva) const {
    for (const Section& s : sections)
      if (rva >= s.virtualAddress && rva < s.virtualAddress + s.rawSize)
        return rva - s.virtualAddress + s.rawOffset;
    ADD_FAILURE() << "address " << rva << " is in no section";
    return image_.size();
  }
  // DLL name -> the functions imported from it.
  std::map<std::string, std::set<std::string>> Imports() const {
    std::map<std::string, std::set<std::string>> imports;
    if (!directory[1]) return imports;
    const bool wide = magic == 0x20b;
    for (uint64_t d = FileOffset(directory[1]);; d += 20) {
      const uint32_t lookup = image_.At<uint32_t>(d),
                     name = image_.At<uint32_t>(d + 12);
      if (!name) break;
      auto& functions = imports[image_.String(FileOffset(name))];
      for (uint64_t t = FileOffset(lookup);; t += wide ? 8 : 4) {
        const uint64_t entry =
            wide ? image_.At<uint64_t>(t) : image_.At<uint32_t>(t);
        if (!entry) break;
        const bool byOrdinal = entry >> (wide ? 63 : 31);
        functions.insert(byOrdinal
                             ? "#ordinal"
                             : image_.String(FileOffset((uint32_t)entry) + 2));
      }
    }
    return imports;
  }
  // The data of resource type/id (first language), or "" when missing.
  std::string Resource(uint32_t type, uint32_t id) const {
    if (!directory[2]) return "";
    const uint64_t root = FileOffset(directory[2]);
    uint64_t dir = root;
    for (uint32_t want : {type, id, 0u}) {
      const uint16_t named = image_.At<uint16_t>(dir + 12);
      const uint16_t ids = image_.At<uint16_t>(dir + 14);
      uint32_t target = 0;
      bool found = false;
      for (unsigned i = 0; i < named + ids; ++i) {
        const uint64_t e = dir + 16 + 8 * i;
        const uint32_t entryId = image_.At<uint32_t>(e);
        if (i >= named && (want == 0u || entryId == want)) {
          target = image_.At<uint32_t>(e + 4);
          found = true;
          break;
        }
      }
      if (!found) return "";
      dir = root + (target & 0x7fffffff);
    }
    const uint32_t dataRva = image_.At<uint32_t>(dir);
    const uint32_t dataSize = image_.At<uint32_t>(dir + 4);
    return image_.Bytes(FileOffset(dataRva), dataSize);
  }

  uint16_t machine = 0, characteristics = 0, magic = 0, subsystem = 0,
           dllCharacteristics = 0;
  uint64_t imageBase = 0;
  uint32_t entry = 0, subsystemVersion = 0, checksumField = 0, checksum = 0;
  uint32_t directory[16] = {}, directorySize[16] = {};
  std::vector<Section> sections;

 private:
  const Image& image_;
};

// The checksum as imagehlp's CheckSumMappedFile computes it from the
// file's bytes: their 16-bit words, the field itself taken as zero, summed
// with each carry folded back in, plus the file's length.
uint32_t Checksum(const Image& image, uint32_t field) {
  uint32_t sum = 0;
  for (uint64_t at = 0; at < image.size(); at += 2) {
    if (at == field || at == field + 2) continue;
    sum += at + 1 < image.size() ? image.At<uint16_t>(at)
                                 : image.At<unsigned char>(at);
    sum = (sum & 0xffff) + (sum >> 16);
  }
  return sum + image.size();
}

void CheckPe(const Image& image, const PeExpectation& e, bool reads) {
  ASSERT_EQ(image.Bytes(0, 2), "MZ");
  const Pe pe(image);
  EXPECT_EQ(pe.machine, e.machine);
  EXPECT_EQ(pe.magic, e.magic);
  EXPECT_EQ(pe.subsystem, SubsystemConsole);
  EXPECT_LE(pe.subsystemVersion, OldestWindows) << "refused by Windows 7";
  EXPECT_TRUE(pe.dllCharacteristics & NxCompat) << "no DEP";
  EXPECT_TRUE(pe.dllCharacteristics & DynamicBase) << "no ASLR";
  // Without a base relocation table Windows loads the image at its
  // preferred base, whatever DYNAMIC_BASE says.
  EXPECT_GT(pe.directorySize[BaseRelocationDirectory], 0u);
  EXPECT_FALSE(pe.characteristics & RelocationsStripped);
  EXPECT_EQ(bool(pe.dllCharacteristics & HighEntropyVa), e.highEntropy);
  // As Microsoft's linker marks a console program.
  EXPECT_TRUE(pe.dllCharacteristics & TerminalServerAware);
  EXPECT_EQ(bool(pe.dllCharacteristics & NoSeh), e.noSeh);
  EXPECT_EQ(pe.checksum, Checksum(image, pe.checksumField))
      << "a checksum of the file before it was last changed";
  for (const Section& s : pe.sections)
    EXPECT_FALSE((s.flags & SectionWrite) && (s.flags & SectionExecute))
        << s.name << " is writable and executable";
  // The process starts at the program's entry, in code, never in the load
  // configuration that starts the code's section, nor in other data.
  bool entryInCode = false;
  for (const Section& s : pe.sections)
    entryInCode |= (s.flags & SectionExecute) && pe.entry >= s.virtualAddress &&
                   pe.entry < s.virtualAddress + s.virtualSize;
  EXPECT_TRUE(entryInCode) << "entry point at " << pe.entry;
  EXPECT_EQ(image.Bytes(pe.FileOffset(pe.entry), e.entryCode.size()),
            e.entryCode)
      << "entry point at " << pe.entry;
  // The loader sets the stack cookie where the load configuration points,
  // while it holds the default: writable data of ours, the size of a
  // pointer. Windows 7's loader takes an entry of 64 or of the structure's
  // size, Windows 10's only the structure's size; x86 loaders read the
  // cookie's address only from a structure of 72 bytes or more.
  const uint64_t config = pe.FileOffset(pe.directory[LoadConfigDirectory]);
  EXPECT_EQ(pe.directorySize[LoadConfigDirectory], image.At<uint32_t>(config));
  EXPECT_GE(image.At<uint32_t>(config), e.loadConfigSize);
  const uint64_t cookie = e.magic == 0x20b
                              ? image.At<uint64_t>(config + e.cookieField)
                              : image.At<uint32_t>(config + e.cookieField);
  ASSERT_GT(cookie, pe.imageBase);
  const uint32_t cookieRva = (uint32_t)(cookie - pe.imageBase);
  bool inWritableData = false;
  for (const Section& s : pe.sections)
    inWritableData |=
        (s.flags & SectionWrite) && cookieRva >= s.virtualAddress &&
        cookieRva + (e.magic == 0x20b ? 8 : 4) <= s.virtualAddress + s.rawSize;
  EXPECT_TRUE(inWritableData) << "the cookie is at " << cookieRva;
  const uint64_t stored = e.magic == 0x20b
                              ? image.At<uint64_t>(pe.FileOffset(cookieRva))
                              : image.At<uint32_t>(pe.FileOffset(cookieRva));
  EXPECT_EQ(stored, e.defaultCookie);
  // A program imports what it calls and no more: hello never reads.
  const std::map<std::string, std::set<std::string>> expected = {
      {"KERNEL32.dll",
       reads ? std::set<std::string>{"ExitProcess", "GetStdHandle",
                                     "ReadConsoleA", "WriteConsoleA"}
             : std::set<std::string>{"ExitProcess", "GetStdHandle",
                                     "WriteConsoleA"}}};
  EXPECT_EQ(pe.Imports(), expected);
  const std::string manifest = pe.Resource(ResourceManifest, 1);
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" "
                          "uiAccess=\"false\""),
            std::string::npos)
      << "manifest: " << manifest;
}

// ---- WebAssembly ----------------------------------------------------------

// A module's sections: its imports (all from WASI preview 1, by name), its
// exports, and whether it names a start function, which the engine would
// run before _start.
struct Wasm {
  explicit Wasm(const Image& image) : image_(image) {
    for (uint64_t at = 8; at < image.size();) {
      const unsigned char id = image.At<unsigned char>(at++);
      const uint64_t size = Number(at), end = at + size;
      if (id == 2 || id == 7)
        for (uint64_t count = Number(at); count > 0; --count) {
          std::string module = id == 2 ? Name(at) : "wasi_snapshot_preview1";
          const std::string name = Name(at);
          const unsigned char kind = image.At<unsigned char>(at++);
          EXPECT_EQ(module, "wasi_snapshot_preview1") << name;
          (id == 2 ? imports : exports).insert(name);
          // What follows the kind: an import's type, an export's index.
          EXPECT_TRUE(id == 7 || kind == 0) << name << " is no function";
          Number(at);
        }
      hasStart |= id == 8;
      at = end;
    }
  }
  std::set<std::string> imports, exports;
  bool hasStart = false;

 private:
  // An unsigned LEB128 number at at, moving at past it.
  uint64_t Number(uint64_t& at) const {
    uint64_t value = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
      const unsigned char byte = image_.At<unsigned char>(at++);
      value |= uint64_t(byte & 0x7f) << shift;
      if (!(byte & 0x80)) break;
    }
    return value;
  }
  std::string Name(uint64_t& at) const {
    const uint64_t length = Number(at);
    at += length;
    return image_.Bytes(at - length, length);
  }
  const Image& image_;
};

TEST(Binary, HeadersSayWhatTheLoaderNeeds) {
  const Image image(target.exe);
  ASSERT_GT(image.size(), 64u);
  for (const ElfExpectation& e : ElfTargets) {
    if (target.name != e.target) continue;
    ASSERT_EQ(image.Bytes(0, 4),
              "\x7f"
              "ELF");
    ASSERT_EQ(image.At<unsigned char>(EI_CLASS), e.elfClass);
    ASSERT_EQ(image.At<unsigned char>(EI_DATA), e.byteOrder);
    if (e.elfClass == ELFCLASS64)
      CheckElf<Elf64_Ehdr, Elf64_Phdr, Elf64_Dyn>(image, e);
    else
      CheckElf<Elf32_Ehdr, Elf32_Phdr, Elf32_Dyn>(image, e);
    return;
  }
  for (const PeExpectation& e : PeTargets) {
    if (target.name != e.target) continue;
    // Every program the build makes for Windows, the test program that
    // overruns its stack too.
    CheckPe(image, e, target.reads);
    const std::string smash = OptionText("smash");
    if (!smash.empty()) {
      SCOPED_TRACE(smash);
      CheckPe(Image(smash), e, true);
    }
    return;
  }
  if (target.wasi) {
    ASSERT_EQ(image.Bytes(0, 8), std::string("\0asm\1\0\0\0", 8));
    const Wasm wasm(image);
    // Nothing of ours runs before _start: no start function.
    EXPECT_FALSE(wasm.hasStart);
    const std::set<std::string> expected =
        target.reads
            ? std::set<std::string>{"fd_fdstat_get", "fd_read", "fd_write",
                                    "proc_exit", "random_get"}
            : std::set<std::string>{"fd_write", "proc_exit", "random_get"};
    EXPECT_EQ(wasm.imports, expected);
    EXPECT_EQ(wasm.exports, (std::set<std::string>{"_start", "memory"}));
    return;
  }
  FAIL() << "no expectations for target " << target.name;
}

}  // namespace
