// Argument parsing and reporting for the terminal program.
#pragma once

#include "base/ErrorReport.h"

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace harmolin::cli {

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    [[nodiscard]] bool has(const std::string& name) const { return values.count(name) || flags.count(name); }
    [[nodiscard]] std::string value(const std::string& name, const std::string& fallback = {}) const {
        auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
};

struct OptionTable {
    std::set<std::string> withValue; // e.g. "--channel"
    std::set<std::string> flags;     // e.g. "--events"
};

// Parses argv[first..]; on a wrong option prints one error line and returns
// nothing.
[[nodiscard]] std::optional<Arguments> parseArguments(int argc, char** argv, int first,
                                                      const OptionTable& options);

// Reads a whole number within [low, high]; prints one error line when it is not.
[[nodiscard]] std::optional<int> parseNumber(const std::string& option, const std::string& text, int low,
                                             int high);

// Prints "harmolin: error: <message>" on standard error.
void printError(const std::string& message);

// Prints "harmolin: warning: <message>" on standard error.
void printWarning(const std::string& message);

// The terminal's presenter outside a collector: errors and warnings as
// "harmolin:" lines, messages at once as warnings, a notice in front of the
// error that follows it on the same thread.
void installTerminalPresenter();

// The program's data folder, or nothing after printing that it is missing.
[[nodiscard]] std::optional<std::string> requireDataFolder();

// Collects the reporter lines of one command so that a failure shows one
// clear line, and warnings about repaired data still reach the user.
class ReportCollector {
  public:
    // Messages of their own are printed as "warning:" lines when they are
    // raised; holdMessages keeps them with the rest, for a stage whose
    // failure line already says what they would (loading a plug-in).
    explicit ReportCollector(bool holdMessages = false);
    ~ReportCollector();
    ReportCollector(const ReportCollector&) = delete;
    ReportCollector& operator=(const ReportCollector&) = delete;

    // The command failed on this file: print the first error line only.
    void fail(const std::string& subject);
    // The command failed for a reason of its own: print only that.
    void failWith(const std::string& why);
    // The command failed: print the error that was reported, else `why`.
    void failOr(const std::string& why);
    // The command went on: print everything collected, as warnings.
    void flush();

  private:
    std::vector<ReportLine> lines_;
    Presenter previous_;
    bool holdMessages_ = false;
    std::mutex mutex_; // lines may come from the player's or the render thread
};

} // namespace harmolin::cli
