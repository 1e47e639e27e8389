#pragma once

#include <cstddef>
#include <string_view>

namespace vexar::panel {

// A file of the page, built into the program so that the panel needs nothing installed beside
// it and loads nothing from elsewhere.
struct Asset {
    std::string_view name;  // the path below the page's root: "index.html", "js/main.js"
    const unsigned char* data;
    std::size_t size;
    const char* contentType;
};

// Nothing for a name the page does not have.
const Asset* findAsset(std::string_view name);

}  // namespace vexar::panel
