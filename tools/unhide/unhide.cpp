// vyr-unhide IN.a OUT.a PREFIX...: copies a static archive of ELF64 objects, giving default
// visibility to the defined global symbols whose names begin with one of the prefixes.
//
// vyr links the C++ unwinder statically (libgcc_eh.a), whose symbols are hidden, so vyr
// could not export them and the GUI module bound its unwinder references to the system's
// libgcc_s: two unwinders in one process. With the copy made here, vyr's own unwinder is
// exported like the rest of its C++ runtime, and the module's references bind to it.
// Only the visibility byte of those symbols changes; the archive keeps its layout.
#include <elf.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<const char*> prefixes;

bool wanted(const char* name) {
  for (const char* p : prefixes)
    if (std::strncmp(name, p, std::strlen(p)) == 0) return true;
  return false;
}

// Patches one member in place; answers the count of symbols changed, or -1 when the member
// is an ELF object this tool cannot read.
int patch_object(unsigned char* obj, size_t size) {
  if (size < sizeof(Elf64_Ehdr) || std::memcmp(obj, ELFMAG, SELFMAG) != 0) return 0;
  Elf64_Ehdr eh;
  std::memcpy(&eh, obj, sizeof eh);
  if (eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB) return -1;
  if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shoff + uint64_t(eh.e_shnum) * sizeof(Elf64_Shdr) > size)
    return -1;
  auto section = [&](size_t i) {
    Elf64_Shdr sh;
    std::memcpy(&sh, obj + eh.e_shoff + i * sizeof(Elf64_Shdr), sizeof sh);
    return sh;
  };
  int changed = 0;
  for (size_t i = 0; i < eh.e_shnum; i++) {
    Elf64_Shdr sh = section(i);
    if (sh.sh_type != SHT_SYMTAB) continue;
    if (sh.sh_link >= eh.e_shnum || sh.sh_entsize != sizeof(Elf64_Sym) ||
        sh.sh_offset + sh.sh_size > size)
      return -1;
    Elf64_Shdr strtab = section(sh.sh_link);
    if (strtab.sh_offset + strtab.sh_size > size) return -1;
    for (size_t k = 0; k < sh.sh_size / sizeof(Elf64_Sym); k++) {
      unsigned char* at = obj + sh.sh_offset + k * sizeof(Elf64_Sym);
      Elf64_Sym sym;
      std::memcpy(&sym, at, sizeof sym);
      if (ELF64_ST_BIND(sym.st_info) != STB_GLOBAL || sym.st_shndx == SHN_UNDEF ||
          ELF64_ST_VISIBILITY(sym.st_other) != STV_HIDDEN || sym.st_name >= strtab.sh_size)
        continue;
      const char* name = reinterpret_cast<const char*>(obj + strtab.sh_offset + sym.st_name);
      if (!std::memchr(name, 0, strtab.sh_size - sym.st_name) || !wanted(name)) continue;
      sym.st_other = static_cast<unsigned char>((sym.st_other & ~3) | STV_DEFAULT);
      std::memcpy(at, &sym, sizeof sym);
      changed++;
    }
  }
  return changed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: vyr-unhide IN.a OUT.a PREFIX...\n");
    return 2;
  }
  for (int i = 3; i < argc; i++) prefixes.push_back(argv[i]);
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<unsigned char> ar((std::istreambuf_iterator<char>(in)), {});
  const size_t magic = 8, header = 60;
  if (ar.size() < magic || std::memcmp(ar.data(), "!<arch>\n", magic) != 0) {
    std::fprintf(stderr, "vyr-unhide: %s is not an archive\n", argv[1]);
    return 1;
  }
  int changed = 0;
  for (size_t at = magic; at + header <= ar.size();) {
    std::string size_field(reinterpret_cast<const char*>(ar.data() + at + 48), 10);
    size_t size = std::strtoull(size_field.c_str(), nullptr, 10);
    if (at + header + size > ar.size()) {
      std::fprintf(stderr, "vyr-unhide: %s: truncated member\n", argv[1]);
      return 1;
    }
    int n = patch_object(ar.data() + at + header, size);
    if (n < 0) {
      std::fprintf(stderr, "vyr-unhide: %s: a member is no ELF64 little-endian object\n", argv[1]);
      return 1;
    }
    changed += n;
    at += header + size + (size & 1);
  }
  if (changed == 0) {
    std::fprintf(stderr, "vyr-unhide: %s: no hidden symbol to export\n", argv[1]);
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out.write(reinterpret_cast<const char*>(ar.data()), std::streamsize(ar.size()));
  return out ? 0 : 1;
}
