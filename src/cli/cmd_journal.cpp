// `cardwright journal [--card SERIAL] [--since DATE] [--json | --csv] [--check]`: the card
// journal of the data folder, newest first, or whether its chain of line digests holds.
#include <iostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/job_runner.h"
#include "cli/json_report.h"
#include "journal/journal_file.h"
#include "journal/journal_list.h"
#include "platform/text.h"

namespace cw::cli {
namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  return "\"" + ReplaceAll(text, "\"", "\"\"") + "\"";
}

class JournalCommand : public Command {
 public:
  const char* Name() const override { return "journal"; }
  const char* Description() const override {
    return "List the card journal of the data folder, newest first, or check its chain";
  }
  void Define(CLI::App& sub) override {
    sub.add_option("--card", card_, "Only the entries of the card with this serial (1A2B-3C4D)");
    sub.add_option("--since", since_, "Only entries started on or after this local date "
                                      "(YYYY-MM-DD or YYYY-MM-DDTHH:MM)");
    DefineJson(sub);
    sub.add_flag("--csv", csv_, "Print the entries as CSV, for a spreadsheet")->excludes("--json");
    sub.add_flag("--check", check_, "Check that every line carries the SHA-256 of the line "
                                    "before it, and name the first that does not");
  }

  int Run(Platform& platform) override {
    if (const std::string problem = SinceProblem(since_); !since_.empty() && !problem.empty()) {
      std::cerr << "cardwright: " << problem << "\n";
      return kExitUsage;
    }
    JobRunner runner(platform, PromptAnswers{}, JsonReport());
    runner.Start();
    const std::string dataPath = runner.dataPath();
    const std::string shown = platform.DisplayPath(JournalPath(dataPath));
    std::string bytes;
    if (!ReadJournalBytes(platform, dataPath, &bytes)) {
      std::cerr << JournalUnreadableText(shown, GetLastError()) << "\n";
      return kExitFailed;
    }
    if (check_) return Check(bytes, shown);
    const std::vector<JournalRow> all = JournalRows(bytes);
    const std::vector<const JournalRow*> rows = SelectRows(all, JournalFilter{card_, since_});
    const std::vector<size_t> incomplete = IncompleteLines(all);
    if (!incomplete.empty() && !JsonReport()) {
      std::cerr << IncompleteLinesText(incomplete) << "\n";
    }
    if (JsonReport()) {
      Json report = ReportHead(Name());
      SetOutcome(report, "passed", kExitOk, runner.Messages());
      report["journal"] = shown;
      report["incomplete_lines"] = incomplete;
      Json entries = Json::array();
      for (const JournalRow* row : rows) {
        Json entry = Json::parse(row->text);
        entry["line"] = row->line;
        entries.push_back(std::move(entry));
      }
      report["entries"] = std::move(entries);
      PrintJson(report);
    } else if (csv_) {
      std::cout << "line,started,job,card_letter,card_serial,card_label,package,outcome,stage,"
                   "written,verified,failed,restored,backup,front_end,user,host,run_id\n";
      for (const JournalRow* row : rows) {
        const JournalRow& r = *row;
        std::string line = std::to_string(r.line);
        for (const std::string* field :
             {&r.started, &r.job, &r.cardLetter, &r.cardSerial, &r.cardLabel, &r.packageName,
              &r.outcome, &r.stage})
          line += "," + CsvField(*field);
        for (int64_t count : {r.filesWritten, r.filesVerified, r.filesFailed, r.filesRestored})
          line += "," + std::to_string(count);
        for (const std::string* field : {&r.backup, &r.frontEnd, &r.user, &r.host, &r.runId})
          line += "," + CsvField(*field);
        std::cout << line << "\n";
      }
    } else if (rows.empty()) {
      std::cout << NoJournalEntriesText(shown) << "\n";
    } else {
      // Each column as wide as its widest usual value; the last one runs to the line's end.
      constexpr int kWidths[kJournalColumns.size()] = {26, 12, 9, 12, 24, 13, 0};
      auto print = [&](const auto& cells) {
        std::string line;
        for (size_t i = 0; i + 1 < cells.size(); ++i)
          line += Format("%-*s ", kWidths[i], std::string(cells[i]).c_str());
        std::cout << line << cells.back() << "\n";
      };
      print(kJournalColumns);
      for (const JournalRow* row : rows) print(JournalCells(*row));
    }
    return kExitOk;
  }

 private:
  int Check(const std::string& bytes, const std::string& shown) {
    const JournalCheck check = CheckJournal(bytes);
    if (JsonReport()) {
      Json report = ReportHead(Name());
      SetOutcome(report, check.Holds() ? "passed" : "failed",
                 check.Holds() ? kExitOk : kExitFailed, {});
      report["journal"] = shown;
      report["lines"] = check.lines;
      report["chain_holds"] = check.Holds();
      report["broken_at_line"] = check.Holds() ? Json(nullptr) : Json(check.brokenAt);
      report["incomplete_lines"] = check.incomplete;
      PrintJson(report);
    } else if (check.Holds()) {
      std::cout << "The card journal's chain holds: " << check.lines << " lines.\n";
    } else {
      std::cout << "The card journal's chain breaks at line " << check.brokenAt
                << ": it does not carry the SHA-256 of the line before it (a line was edited, "
                   "removed or inserted there).\n";
    }
    if (!check.incomplete.empty() && !JsonReport())
      std::cout << "Incomplete (cut short when written): line "
                << LineNumbersText(check.incomplete) << ".\n";
    return check.Holds() ? kExitOk : kExitFailed;
  }

  std::string card_;
  std::string since_;
  bool csv_ = false;
  bool check_ = false;
};

CARDWRIGHT_COMMAND(JournalCommand);

}  // namespace
}  // namespace cw::cli
