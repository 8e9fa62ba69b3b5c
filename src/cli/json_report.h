#pragma once
// The --json reports: one JSON document on standard output per run, with the keys that
// docs/json.md describes. Human messages stay on standard error.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "record/job_context.h"
#include "record/job_result.h"

namespace cw::cli {

// Keys keep the order they were added in, so every report reads in the same order.
using Json = nlohmann::ordered_json;

// A CRC-32 as eight upper-case hex digits, as the transcript and `inspect` show it; null for
// none.
Json CrcJson(std::optional<uint32_t> crc);
// A system message as one text: Windows line ends as "\n", no trailing line end.
std::string PlainMessage(const std::string& text);

// The head of every report: "command", "version", then "outcome", "exit_status" and
// "messages" for the caller to fill.
Json ReportHead(const std::string& command);
// Fills the outcome and exit status (and the messages, when given).
void SetOutcome(Json& report, const std::string& outcome, int exitStatus,
                const std::vector<std::string>& messages = {});
// Writes the document on standard output. Texts that are not UTF-8 (Windows' ANSI code page)
// have their stray bytes replaced, so the document stays valid.
void PrintJson(const Json& report);

// The exit status of a store or verify run that ended with `result`.
int ExitStatus(const JobResult& result);
// The report of a store or verify run on the card at `cardPath` that ended with `result`: its
// outcome and exit status, its messages, the card and package, every phase by name with its
// result, and every file its verifications read.
Json JobReport(const std::string& command, const JobContext& job, const std::string& cardPath,
               const JobResult& result, const std::vector<std::string>& messages,
               const std::optional<std::string>& package);

}  // namespace cw::cli
