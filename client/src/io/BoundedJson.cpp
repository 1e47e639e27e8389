#include "io/BoundedJson.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>
#include <vector>

#include "io/Failure.h"
#include "vexar/json.hpp"

namespace vexar::detail::io {

namespace {
// The parser's input, counting how far it has read: its callback learns no position, and a
// refusal from the callback must say where it is.
class TrackedInput {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    TrackedInput() = default;
    TrackedInput(const char* at, const char** furthest) : at_(at), furthest_(furthest) {}
    reference operator*() const { return *at_; }
    TrackedInput& operator++() {
        ++at_;
        if (furthest_ != nullptr && at_ > *furthest_) {
            *furthest_ = at_;
        }
        return *this;
    }
    TrackedInput operator++(int) {
        TrackedInput before = *this;
        ++*this;
        return before;
    }
    bool operator==(const TrackedInput& other) const { return at_ == other.at_; }

  private:
    const char* at_ = nullptr;
    const char** furthest_ = nullptr;
};

struct Refusal {
    std::size_t offset;
    std::string reason;
};

std::string where(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    const std::string_view before = text.substr(0, offset);
    const std::size_t newline = before.rfind('\n');
    const std::size_t line =
        1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    const std::size_t column = newline == std::string_view::npos ? offset + 1 : offset - newline;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string near(std::string_view text, std::size_t offset) {
    const std::size_t from = offset > 10 ? offset - 10 : 0;
    const std::string_view shown = text.substr(std::min(from, text.size()), 20);
    return shown.empty() ? " at the end" : " near '" + excerpt(shown, 40) + "'";
}

// The opening quote of the key whose closing quote ends just before end.
std::size_t keyStart(std::string_view text, std::size_t end) {
    for (std::size_t i = end >= 2 ? end - 2 : 0; i > 0; --i) {
        if (text[i] != '"') {
            continue;
        }
        std::size_t backslashes = 0;
        while (backslashes < i && text[i - 1 - backslashes] == '\\') {
            ++backslashes;
        }
        if (backslashes % 2 == 0) {
            return i;
        }
    }
    return 0;
}

// nlohmann's text without its prefix and without the token it last read, which can be long.
std::string syntaxReason(const std::string& what) {
    std::string reason = what;
    if (const std::size_t at = reason.find("syntax error"); at != std::string::npos) {
        reason.erase(0, at);
    }
    if (const std::size_t at = reason.find("; last read"); at != std::string::npos) {
        reason.erase(at);
    }
    return excerpt(reason, 120);
}
}  // namespace

std::string excerpt(std::string_view text, std::size_t limit) {
    std::string shown;
    for (const char c : text) {
        if (shown.size() >= limit) {
            return shown + "...";
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        }
    }
    return shown;
}

std::string jsonExcerpt(const Json& value, std::size_t limit) {
    return excerpt(std::string_view(value.dump(-1, ' ', false, Json::error_handler_t::replace)),
                   limit);
}

Json parseBoundedJson(std::string_view text, const std::string& shown, std::size_t maxDepth) {
    const char* furthest = text.data();
    std::vector<std::set<std::string>> open;
    const auto offsetNow = [&] { return static_cast<std::size_t>(furthest - text.data()); };
    const Json::parser_callback_t check = [&](int depth, Json::parse_event_t event, Json& parsed) {
        using Event = Json::parse_event_t;
        if (event == Event::object_start || event == Event::array_start) {
            if (static_cast<std::size_t>(depth) >= maxDepth) {
                throw Refusal{offsetNow() - 1,
                              "nested deeper than " + std::to_string(maxDepth) + " levels"};
            }
            if (event == Event::object_start) {
                open.emplace_back();
            }
        } else if (event == Event::object_end && !open.empty()) {
            open.pop_back();
        } else if (event == Event::key && !open.empty() &&
                   !open.back().insert(parsed.get<std::string>()).second) {
            throw Refusal{keyStart(text, offsetNow()), "member \"" +
                                                           excerpt(parsed.get<std::string>()) +
                                                           "\" appears twice in one object"};
        }
        return true;
    };
    const auto notJson = [&](std::size_t offset, const std::string& reason) {
        return badInputFailure(shown + " is not JSON: " + where(text, offset) + ": " + reason +
                               near(text, offset));
    };
    try {
        return Json::parse(TrackedInput(text.data(), &furthest),
                           TrackedInput(text.data() + text.size(), nullptr), check);
    } catch (const Json::parse_error& error) {
        throw notJson(error.byte > 0 ? error.byte - 1 : 0, syntaxReason(error.what()));
    } catch (const Json::out_of_range&) {
        // The only one the parser raises: a number beyond a double.
        throw notJson(offsetNow() > 0 ? offsetNow() - 1 : 0, "number overflow");
    } catch (const Refusal& refusal) {
        if (refusal.reason.starts_with("nested")) {
            throw notJson(refusal.offset, refusal.reason);
        }
        throw badInputFailure(shown + " " + where(text, refusal.offset) + ": " + refusal.reason);
    }
}

}  // namespace vexar::detail::io

namespace vexar {

Json parseJson(std::string_view text, const std::string& shown) {
    return detail::io::parseBoundedJson(text, shown);
}

}  // namespace vexar
