#include "cli/CommandLine.h"

#include "app/DataFolder.h"

#include <charconv>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

namespace harmolin::cli {

void printError(const std::string& message) {
    std::cerr << "harmolin: error: " << message << '\n';
}

void printWarning(const std::string& message) {
    std::cerr << "harmolin: warning: " << message << std::endl;
}

void installTerminalPresenter() {
    // For the rest of the run: the default it replaces is not restored.
    std::ignore = setPresenter([](const ReportLine& line) {
        static std::mutex mutex;
        static std::map<std::thread::id, std::string> pending;
        std::lock_guard<std::mutex> lock(mutex);
        switch (line.severity) {
        case Severity::Notice:
            pending[std::this_thread::get_id()] = line.text;
            return;
        case Severity::Message:
        case Severity::Warning:
            printWarning(line.text);
            return;
        case Severity::Error: {
            const auto it = pending.find(std::this_thread::get_id());
            if (it != pending.end()) {
                std::cerr << "harmolin: " << it->second << ": " << line.text << '\n';
                pending.erase(it);
            } else {
                std::cerr << "harmolin: " << line.text << '\n';
            }
            return;
        }
        }
    });
}

std::optional<std::string> requireDataFolder() {
    std::string folder = dataFolder();
    if (folder.empty()) {
        printError("the program's data folder (with patterns/PATTERN.DB) was not found; set HARMOLIN_DATA");
        return std::nullopt;
    }
    return folder;
}

std::optional<Arguments> parseArguments(int argc, char** argv, int first, const OptionTable& options) {
    Arguments args;
    for (int i = first; i < argc; ++i) {
        std::string a = argv[i];
        if (a.size() > 1 && a[0] == '-' && a != "-") {
            std::string value;
            const auto eq = a.find('=');
            const bool inlineValue = a.rfind("--", 0) == 0 && eq != std::string::npos;
            if (inlineValue) {
                value = a.substr(eq + 1);
                a = a.substr(0, eq);
            }
            if (a == "-o") a = "--output";
            if (options.withValue.count(a)) {
                if (!inlineValue) {
                    if (i + 1 >= argc) {
                        printError("option " + a + " needs a value");
                        return std::nullopt;
                    }
                    value = argv[++i];
                }
                args.values[a] = value;
            } else if (options.flags.count(a) && !inlineValue) {
                args.flags.insert(a);
            } else {
                printError("unknown option " + a);
                return std::nullopt;
            }
        } else {
            args.positional.push_back(a);
        }
    }
    return args;
}

std::optional<int> parseNumber(const std::string& option, const std::string& text, int low, int high) {
    int v = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || v < low || v > high) {
        printError(option + " takes a whole number from " + std::to_string(low) + " to " +
                   std::to_string(high) + ", not '" + text + "'");
        return std::nullopt;
    }
    return v;
}

ReportCollector::ReportCollector(bool holdMessages) : holdMessages_(holdMessages) {
    previous_ = setPresenter([this](const ReportLine& line) {
        if (line.severity == Severity::Message && !holdMessages_) {
            printWarning(line.text);
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
    });
}

ReportCollector::~ReportCollector() {
    flush();
    (void)setPresenter(previous_); // our own presenter, done with
}

void ReportCollector::fail(const std::string& subject) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The last error is the one that stopped the command.
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->severity != Severity::Error) continue;
        std::cerr << "harmolin: " << subject << ": " << it->text << '\n';
        lines_.clear();
        return;
    }
    std::cerr << "harmolin: " << subject << ": cannot be read as a MIDI song\n";
    lines_.clear();
}

void ReportCollector::failWith(const std::string& why) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
    printError(why);
}

void ReportCollector::failOr(const std::string& why) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text = why;
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->severity != Severity::Error) continue;
        text = it->text;
        // The reason noticed just before it (a device's own words) goes with it.
        if (const auto before = std::next(it);
            before != lines_.rend() && before->severity == Severity::Notice)
            text += " (" + before->text + ")";
        break;
    }
    lines_.clear();
    printError(text);
}

void ReportCollector::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string notice; // a file name goes with the line that follows it
    for (const auto& line : lines_) {
        if (line.severity == Severity::Notice) {
            notice = line.text;
            continue;
        }
        printWarning(notice.empty() ? line.text : notice + ": " + line.text);
        notice.clear();
    }
    lines_.clear();
}

} // namespace harmolin::cli
