#include "lyrics/ListFiles.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"
#include "base/Files.h"
#include "base/TextCodec.h"

#include <cstdint>
#include <fstream>
#include <unistd.h>

namespace harmolin {
namespace {

const char* listMessage(std::uint32_t code) {
    switch (code) {
    case errc::kListCannotOpen:
        return "Can not open list file. Do not drag & drop for copy. Do it for sohrt cut.";
    case errc::kListBadValue:
        return "List file data contains error value.";
    case errc::kListTooManyRows:
        return "Too many items in list!";
    case errc::kListInvalidSpace:
        return "List file contains invalid space!";
    case errc::kListNoDirectory:
        return "Can not get directory!";
    case errc::kListFieldTooLong:
        return "Song title is too long!";
    case errc::kListTooLarge:
        return "List file is larger than 1 MiB!";
    default:
        return nullptr;
    }
}

void registerListMessages() {
    static const bool once = [] {
        registerMessages(ErrorClass::Gnll, listMessage, "Error occured during list loading!");
        return true;
    }();
    (void)once;
}

void fail(std::uint32_t code, const std::string& where) {
    registerListMessages();
    // The file first: it belongs to this error, not to whatever comes next.
    reportNotice(where);
    reportError(ErrorClass::Gnll, code);
}

// Two backslashes stand for a comma; a backslash that is the second byte of
// a double-byte character is left alone.
std::string unescape(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size();) {
        const auto c = static_cast<unsigned char>(field[i]);
        if (isCp932LeadByte(c) && i + 1 < field.size()) {
            out.append(field, i, 2);
            i += 2;
        } else if (c == '\\' && i + 1 < field.size() && field[i + 1] == '\\') {
            out.push_back(',');
            i += 2;
        } else {
            out.push_back(static_cast<char>(c));
            ++i;
        }
    }
    return out;
}

} // namespace

ListFile parseListFile(const std::string& bytes, const std::string& where, char separator) {
    ListFile list;
    const std::size_t n = bytes.size();
    std::size_t pos = 0;
    int row = 0;
    auto endOfRow = [&](std::size_t p) { return p >= n || bytes[p] == '\r' || bytes[p] == '\n'; };
    while (pos < n) {
        if (bytes[pos] == '\r' || bytes[pos] == '\n') { // blank row
            ++pos;
            continue;
        }
        ++row;
        if (static_cast<int>(list.rows.size()) >= kListMaxRows) {
            fail(errc::kListTooManyRows, where);
            return list;
        }
        std::array<std::string, 2> fields;
        for (int f = 0; f < 2; ++f) {
            std::string raw;
            if (pos < n && bytes[pos] == '"') {
                const std::size_t close = bytes.find('"', pos + 1);
                if (close == std::string::npos) {
                    fail(errc::kListBadValue, where);
                    return list;
                }
                raw = bytes.substr(pos + 1, close - pos - 1);
                pos = close + 1;
                if (f == 0 && pos < n && bytes[pos] == separator) ++pos;
            } else {
                const std::size_t start = pos;
                while (!endOfRow(pos) && bytes[pos] != separator) {
                    pos += isCp932LeadByte(static_cast<unsigned char>(bytes[pos])) && pos + 1 < n ? 2 : 1;
                }
                raw = bytes.substr(start, std::min(pos, n) - start);
                if (f == 0) {
                    if (endOfRow(pos)) { // a row without its second field
                        fail(errc::kListBadValue, where);
                        reportMessage(std::to_string(row) + " line error occrued!");
                        return list;
                    }
                    ++pos; // the separator
                }
                if (!raw.empty() && (raw.front() == ' ' || raw.back() == ' ')) {
                    fail(errc::kListInvalidSpace, where);
                    return list;
                }
            }
            if (raw.size() > static_cast<std::size_t>(kListMaxFieldBytes)) {
                fail(errc::kListFieldTooLong, where);
                return list;
            }
            fields[static_cast<std::size_t>(f)] = unescape(raw);
        }
        if (!endOfRow(pos)) { // more than two fields
            fail(errc::kListBadValue, where);
            reportMessage(std::to_string(row) + " line error occrued!");
            return list;
        }
        if (pos < n && bytes[pos] == '\r') ++pos;
        if (pos < n && bytes[pos] == '\n') ++pos;
        list.rows.push_back(std::move(fields));
    }
    list.complete = true;
    return list;
}

ListFile loadListFile(const std::string& name, char separator) {
    std::string path = name;
    if (name.find('/') == std::string::npos) {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) {
            fail(errc::kListNoDirectory, name);
            return {};
        }
        const std::string dir = cwd;
        path = joinPath(dir, name);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fail(errc::kListCannotOpen, path);
        return {};
    }
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(kListMaxBytes) + 1);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        fail(errc::kListCannotOpen, path);
        return {};
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > static_cast<std::size_t>(kListMaxBytes)) {
        fail(errc::kListTooLarge, path);
        return {};
    }
    return parseListFile(bytes, path, separator);
}

} // namespace harmolin
