#include "ResultTable.h"

#include <cstdio>

namespace {

std::string Number(double value) {
    char text[32];
    const char* format = value == static_cast<long long>(value) || value >= 100 ? "%.0f"
                         : value < 10                                           ? "%.2f"
                                                                                : "%.1f";
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

std::string Figures(const ResultRow& row) {
    if (row.samples.Empty()) {
        return "| - | - | - | 0";
    }
    return "| " + Number(row.samples.Median()) + " | " + Number(row.samples.Min()) + " | " +
           Number(row.samples.Max()) + " | " + std::to_string(row.samples.Count());
}

} // namespace

void ResultTable::Add(ResultRow row) {
    if (row.samples.Empty()) {
        std::fprintf(stderr, "bench:   %s: not measured\n", row.quantity.c_str());
    } else {
        std::fprintf(stderr, "bench:   %s: %s %s (median of %d)\n", row.quantity.c_str(),
                     Number(row.samples.Median()).c_str(), row.unit.c_str(), row.samples.Count());
    }
    rows_.push_back(std::move(row));
}

bool ResultTable::AllMet() const {
    for (const ResultRow& row : rows_) {
        if (row.verdict == "MISSED") {
            return false;
        }
    }
    return true;
}

std::string ResultTable::Markdown() const {
    std::string text = "| quantity | unit | median | min | max | n | target | verdict | note |\n"
                       "|---|---|---:|---:|---:|---:|---|---|---|\n";
    for (const ResultRow& row : rows_) {
        text += "| " + row.quantity + " | " + row.unit + " " + Figures(row) + " | " + row.target +
                " | " + row.verdict + " | " + row.note + " |\n";
    }
    return text;
}

std::string ResultTable::Text() const {
    std::string text;
    char line[512];
    std::snprintf(line, sizeof(line), "%-46s %-8s %9s %9s %9s %4s  %-14s %s\n", "quantity", "unit",
                  "median", "min", "max", "n", "target", "verdict");
    text += line;
    for (const ResultRow& row : rows_) {
        const bool empty = row.samples.Empty();
        std::snprintf(line, sizeof(line), "%-46s %-8s %9s %9s %9s %4d  %-14s %s\n",
                      row.quantity.c_str(), row.unit.c_str(),
                      empty ? "-" : Number(row.samples.Median()).c_str(),
                      empty ? "-" : Number(row.samples.Min()).c_str(),
                      empty ? "-" : Number(row.samples.Max()).c_str(), row.samples.Count(),
                      row.target.c_str(), row.verdict.c_str());
        text += line;
        if (!row.note.empty()) {
            text += "    " + row.note + "\n";
        }
    }
    return text;
}
