#pragma once

// A series of measurements of one quantity and its summary.

#include <vector>

class Samples {
public:
    void Add(double value) { values_.push_back(value); }
    bool Empty() const { return values_.empty(); }
    int Count() const { return static_cast<int>(values_.size()); }
    double Median() const;
    double Min() const;
    double Max() const;

private:
    std::vector<double> values_;
};
