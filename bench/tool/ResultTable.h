#pragma once

// The benchmark's results: one row a measured quantity, with its median and spread, its
// target and whether the target was met. Printed as text and written as markdown.

#include "Samples.h"

#include <string>
#include <vector>

struct ResultRow {
    std::string quantity;
    std::string unit;
    Samples samples;
    std::string target;  // "" when the row is for information
    std::string verdict; // "met", "MISSED", or "" for information
    std::string note;
};

class ResultTable {
public:
    // Adds the row and prints it on stderr, as the bench goes.
    void Add(ResultRow row);
    bool AllMet() const;
    std::string Markdown() const;
    std::string Text() const;

private:
    std::vector<ResultRow> rows_;
};

// "met" or "MISSED".
inline std::string Verdict(bool met) {
    return met ? "met" : "MISSED";
}
