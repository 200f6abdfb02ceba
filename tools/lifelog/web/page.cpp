// Assembles the page from the files under web/, which the build embeds
// into the tool (web_assets.h is generated from them).
#include "web/page.h"

#include <fmt/format.h>

#include <stdexcept>
#include <string_view>

#include "web_assets.h"

namespace lifelog_tool {

namespace {

std::string_view asset(const unsigned char* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// index.html names its style sheet and script as separate files, so that
// it can be edited and opened as it is; the tool puts them in their place.
constexpr std::string_view kStyleLink = "<link rel=\"stylesheet\" href=\"style.css\">";
constexpr std::string_view kScriptTag = "<script src=\"app.js\"></script>";

void replaceOnce(std::string& page, std::string_view what, const std::string& with) {
    size_t at = page.find(what);
    if (at == std::string::npos) {
        throw std::logic_error(fmt::format("the embedded index.html lacks {}", what));
    }
    page.replace(at, what.size(), with);
}

std::string assemble(const std::string& dataScript) {
    std::string page(asset(kWebIndexHtml, sizeof kWebIndexHtml));
    replaceOnce(page, kStyleLink,
                "<style>\n" + std::string(asset(kWebStyleCss, sizeof kWebStyleCss)) + "</style>");
    replaceOnce(
        page, kScriptTag,
        dataScript + "<script>\n" + std::string(asset(kWebAppJs, sizeof kWebAppJs)) + "</script>");
    return page;
}

}  // namespace

std::string servedPage() {
    return assemble("");
}

std::string reportPage(const nlohmann::ordered_json& data) {
    // Inside a script element only "</script" or "<!--" could end or bend
    // it; with every '<' written as an escape, the JSON cannot do either.
    std::string json = data.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::string safe;
    safe.reserve(json.size());
    for (char c : json) {
        if (c == '<') {
            safe += "\\u003c";
        } else {
            safe += c;
        }
    }
    return assemble("<script id=\"lifelog-data\" type=\"application/json\">" + safe +
                    "</script>\n");
}

}  // namespace lifelog_tool
