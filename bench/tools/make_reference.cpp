// Builds the reference data of the end-to-end benchmark in one folder:
//   REFERENCE.FWP  a package for a 3940 panel card, made by the project's package writer: the
//                  OS image NK.BIN, panel files (kinds 3 and 11), files for every target (14
//                  and 15), engine files (kind 2, not placed on a panel) and, last, the card's
//                  CRC list;
//   old-card/      a card already holding an older installation of the same files and sizes;
//   records.tsv    what the baseline extracts: data offset, stored size, file size, stored
//                  as is (1) or inflated (0), CRC-32, and the path on the card;
//   new.zip        the files the store job places, as a zip archive (made by `zip`).
// Same arguments, same bytes.
//
//   bench_make_reference --out DIR --files N --bytes TOTAL [--os-bytes N]

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "package/crc_list_writer.h"
#include "package/file_table.h"
#include "package/package_writer.h"
#include "support/content.h"
#include "rules/bhelper.h"

namespace fs = std::filesystem;
using cwbench::ContentSort;

namespace {

struct Plan {
  int32_t kind;
  std::string cardPath;
  ContentSort sort;
  size_t size;
};

bool PlacedOnPanel3940(int32_t kind) {
  return kind == cw::kKindPanel3940 || kind == cw::kKindPanel3940Raw ||
         kind == cw::kKindCommonRaw || kind == cw::kKindCommon;
}

// Sizes spread as in a real release, a few large files and many small ones (log-normal),
// scaled so that all of them together come to `total`.
std::vector<size_t> Sizes(size_t count, size_t total, cwbench::Random& random) {
  std::vector<double> raw(count);
  double sum = 0;
  for (double& r : raw) {
    const double u1 = std::max(random.Unit(), 1e-12), u2 = random.Unit();
    const double z = std::sqrt(-2 * std::log(u1)) * std::cos(2 * M_PI * u2);
    r = std::exp(1.6 * z);
    sum += r;
  }
  std::vector<size_t> sizes(count);
  for (size_t i = 0; i < count; ++i) {
    sizes[i] = std::max<size_t>(64, static_cast<size_t>(raw[i] / sum * double(total)));
  }
  return sizes;
}

std::vector<Plan> MakePlan(size_t files, size_t totalBytes, size_t osBytes) {
  cwbench::Random random(2024);
  std::vector<Plan> plan;
  plan.push_back({cw::kKindPanel3940, "NK.BIN", ContentSort::kCode, osBytes});
  const size_t others = files - 2;  // the OS image and the CRC list
  const std::vector<size_t> sizes = Sizes(others, totalBytes - osBytes, random);
  static const char* kTop[] = {"APP", "HELP", "SCREENS", "LANG", "IMAGES", "SCRIPTS"};
  for (size_t i = 0; i < others; ++i) {
    const uint64_t roll = random.Below(100);
    Plan p{};
    p.size = sizes[i];
    const std::string folder =
        std::string(kTop[i % 6]) + "\\D" + std::to_string(i / 60);
    if (roll < 5) {
      p.kind = cw::kKindEngine2;
      p.sort = ContentSort::kCode;
      p.cardPath = "ENGINE\\" + folder + "\\E" + std::to_string(i) + ".BIN";
    } else if (roll < 7) {
      p.kind = cw::kKindCommonRaw;
      p.sort = ContentSort::kRandom;
      p.cardPath = "BREVANT\\COMMON\\C" + std::to_string(i) + ".CAB";
    } else if (roll < 9) {
      p.kind = cw::kKindCommon;
      p.sort = ContentSort::kText;
      p.cardPath = "BREVANT\\COMMON\\C" + std::to_string(i) + ".TXT";
    } else if (roll < 27) {
      p.kind = cw::kKindPanel3940Raw;
      p.sort = ContentSort::kRandom;
      p.cardPath = "BREVANT\\" + folder + "\\P" + std::to_string(i) + ".JPG";
    } else {
      p.kind = cw::kKindPanel3940;
      const uint64_t sort = random.Below(100);
      p.sort = sort < 45 ? ContentSort::kText : sort < 85 ? ContentSort::kCode : ContentSort::kRandom;
      static const char* kExt[] = {".TXT", ".DLL", ".DAT"};
      p.cardPath = "BREVANT\\" + folder + "\\F" + std::to_string(i) + kExt[int(p.sort)];
    }
    plan.push_back(p);
  }
  return plan;
}

std::string HostPath(const std::string& cardPath) {
  std::string path = cardPath;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

int Fail(const std::string& text) {
  std::cerr << "bench_make_reference: " << text << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  size_t files = 2000, totalBytes = size_t{512} << 20, osBytes = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--out") out = value;
    else if (name == "--files") files = std::stoull(value);
    else if (name == "--bytes") totalBytes = std::stoull(value);
    else if (name == "--os-bytes") osBytes = std::stoull(value);
    else return Fail("unknown option " + name);
  }
  if (out.empty() || files < 3) return Fail("usage: --out DIR --files N --bytes TOTAL");
  if (osBytes == 0) osBytes = totalBytes / 12;
  if (osBytes >= totalBytes) return Fail("the OS image must be smaller than the total");

  const fs::path root(out);
  fs::remove_all(root);
  fs::create_directories(root / "old-card");
  const fs::path newFiles = root / "new";

  cw::CBHelper helper;
  const std::vector<Plan> plan = MakePlan(files, totalBytes, osBytes);
  cw::PackageSpec spec{.releaseNumber = 42, .engineVersion = 2, .engineRevision = 15,
                       .panelVersion = 10, .panelRevision = 3, .winceIncluded = 1};
  std::vector<cw::CRCListEntry> crcs;
  uint64_t placedBytes = 0;
  for (size_t i = 0; i < plan.size(); ++i) {
    const Plan& p = plan[i];
    std::string content = cwbench::MakeContent(p.sort, p.size, i + 1);
    if (PlacedOnPanel3940(p.kind)) {
      // The card's older installation: the same names and sizes, other bytes.
      if (!WriteFile(root / "old-card" / HostPath(p.cardPath),
                     cwbench::MakeContent(p.sort, p.size, i + 1000001))) {
        return Fail("cannot write the old card");
      }
      if (!WriteFile(newFiles / HostPath(p.cardPath), content)) return Fail("cannot write");
      placedBytes += content.size();
    }
    if (p.kind == cw::kKindPanel3940 || p.kind == cw::kKindPanel3940Raw) {
      crcs.push_back({p.cardPath, cw::CBHelper::BufferCRC(
                                      reinterpret_cast<const unsigned char*>(content.data()),
                                      static_cast<uint32_t>(content.size()))});
    }
    spec.files.push_back({.kind = p.kind, .cardPath = p.cardPath, .content = std::move(content)});
  }
  // Verification skips the table's last record, so the list that cannot name itself goes last.
  const std::string list = cw::BuildCRCList(crcs);
  spec.files.push_back({.kind = cw::kKindPanel3940Raw, .cardPath = "Quorvane File CRCs.dat",
                        .content = list});
  WriteFile(newFiles / "Quorvane File CRCs.dat", list);
  WriteFile(root / "old-card" / "Quorvane File CRCs.dat", list);
  WriteFile(root / "old-card" / "FWP_INFO_FILE.TXT", "Upgraded by an earlier release.\r\n");

  cw::PackageLayout layout;
  const std::string package = cw::BuildPackage(spec, &layout);
  if (!WriteFile(root / "REFERENCE.FWP", package)) return Fail("cannot write the package");
  spec.files.clear();

  std::ofstream records(root / "records.tsv");
  size_t placed = 0, largestStored = 0, largestFile = 0;
  for (const cw::FILE_INFO_STRUCT& r : layout.records) {
    if (!PlacedOnPanel3940(r.kind)) continue;
    const std::string path = cw::FieldText(r.cardPath);
    const bool raw = cw::IsStoredKind(r.kind);
    records << (r.dataOffset + path.size()) << '\t' << r.storedSize << '\t' << r.fileSize << '\t'
            << (raw ? 1 : 0) << '\t' << r.fileCrc << '\t' << HostPath(path) << '\n';
    ++placed;
    largestStored = std::max<size_t>(largestStored, size_t(r.storedSize));
    largestFile = std::max<size_t>(largestFile, size_t(r.fileSize));
  }
  records.close();

  // zip stores names as given, relative to new/.
  const std::string zip = "cd '" + newFiles.string() + "' && zip -q -r -X ../new.zip .";
  if (std::system(zip.c_str()) != 0) return Fail("zip failed");
  fs::remove_all(newFiles);

  std::ofstream facts(root / "facts.txt");
  facts << "records " << layout.records.size() << "\nplaced_files " << placed
        << "\nplaced_bytes " << placedBytes << "\npackage_bytes " << package.size()
        << "\nlargest_stored " << largestStored << "\nlargest_file " << largestFile << "\n";
  std::cout << "reference: " << layout.records.size() << " records, " << placed
            << " placed on the card (" << placedBytes << " bytes), package " << package.size()
            << " bytes\n";
  return 0;
}
