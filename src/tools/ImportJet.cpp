// Horavex_ImportJet [-t SECONDS] SOURCE TARGET: copies every user table of an Access (Jet)
// database into a new SQLite database of this program's format.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "jet/MdbImport.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"

int main(int argc, char** argv) {
  using namespace horavex;
  int limitSeconds = 60;
  if (argc == 5 && std::strcmp(argv[1], "-t") == 0) {
    limitSeconds = std::atoi(argv[2]);
    argv += 2;
    argc -= 2;
  }
  if (argc != 3 || limitSeconds <= 0) {
    std::fprintf(stderr,
                 "usage: Horavex_ImportJet [-t SECONDS] SOURCE TARGET\n"
                 "Copies every table of the Access database SOURCE into the new file TARGET\n"
                 "(reading at most SECONDS, 60 unless given).\n");
    return 2;
  }
  HostFileSystem files;
  jet::MdbJetImport import(limitSeconds);
  try {
    for (const std::string& column : jet::ImportJetFile(files, import, argv[1], argv[2])) {
      std::fprintf(stderr, "Horavex_ImportJet: left out %s.\n", column.c_str());
    }
  } catch (const Failure& f) {
    std::fprintf(stderr, "Horavex_ImportJet: %s\n", f.description().c_str());
    return 1;
  }
  std::printf("%s imported into %s\n", argv[1], argv[2]);
  return 0;
}
