// Writes docs/registers.md from the module description, or checks that the file says what the
// description does. Usage: vexar-registers-doc FILE [--update]; VEXAR_UPDATE_DOCS=1 in the
// environment also updates. Exits 1 when the file is out of date and was not updated.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "yorind/ModuleDescription.h"

namespace {

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string bits(const yorind::FieldRow& row) {
    return row.lsb == row.msb ? std::to_string(row.lsb)
                              : std::to_string(row.msb) + ":" + std::to_string(row.lsb);
}

std::string document() {
    std::ostringstream out;
    out << "# Sensor registers of the YORIN_D module\n\n"
           "Generated from `variant/description/include/yorind/ModuleDescription.h` by the\n"
           "`vexar-registers-doc` program; do not edit by hand. After changing the description,\n"
           "`VEXAR_UPDATE_DOCS=1 ctest -R Docs.RegistersAreUpToDate` (or\n"
           "`build/bin/vexar-registers-doc docs/registers.md --update`) rewrites this file.\n\n"
           "The sensor's "
        << yorind::kSensorRegisterCount << " registers of " << yorind::kRegisterBits
        << " bits answer in two banks: addresses 0x000-0x0FF at bus device "
        << hex(yorind::kLowBankDevice, 2) << ", 0x100-0x1FF at " << hex(yorind::kHighBankDevice, 2)
        << ",\nthe register byte being the low byte of the address. Each register is listed with "
           "its reset\nvalue and its fields, lowest bit first; a field's reset value is "
           "right-aligned. Fields without\na name are programmed by nothing in this project.\n\n"
           "| Register | Reset | Bits | Field | Name | Field reset | Used by |\n"
           "|---|---|---|---|---|---|---|\n";
    std::vector<const yorind::FieldRow*> rows;
    for (const yorind::FieldRow& row : yorind::kFields) {
        rows.push_back(&row);
    }
    std::ranges::sort(rows, [](const yorind::FieldRow* a, const yorind::FieldRow* b) {
        return a->address != b->address ? a->address < b->address : a->lsb < b->lsb;
    });
    std::uint32_t previous = yorind::kSensorRegisterCount;
    for (const yorind::FieldRow* row : rows) {
        const bool first = row->address != previous;
        previous = row->address;
        out << "| " << (first ? hex(row->address, 3) : "") << " | "
            << (first ? hex(yorind::kResetImage[row->address], 6) : "") << " | " << bits(*row)
            << " | " << row->index << " | " << row->name << " | " << hex(row->reset, 1) << " | "
            << row->use << " |\n";
    }
    out << "\n## One-byte devices\n\n"
           "Each takes one byte into one register and cannot be read back.\n\n"
           "| Device | Register | Drives |\n|---|---|---|\n";
    for (const yorind::ByteDevice& device : yorind::kByteDevices) {
        out << "| " << hex(device.address, 2) << " | " << hex(device.reg, 2) << " | " << device.role
            << " |\n";
    }
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::string_view(argv[2]) != "--update")) {
        std::cerr << "usage: vexar-registers-doc FILE [--update]\n";
        return 2;
    }
    const char* env = std::getenv("VEXAR_UPDATE_DOCS");
    const bool update = argc == 3 || (env != nullptr && std::string_view(env) == "1");
    const std::string wanted = document();
    std::ifstream in(argv[1], std::ios::binary);
    const std::string present((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (present == wanted) {
        return 0;
    }
    if (!update) {
        std::cerr << argv[1]
                  << " is out of date with the module description; run with --update or "
                     "VEXAR_UPDATE_DOCS=1 to rewrite it\n";
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << wanted;
    if (!out.flush()) {
        std::cerr << "cannot write " << argv[1] << '\n';
        return 1;
    }
    std::cerr << "updated " << argv[1] << '\n';
    return 0;
}
