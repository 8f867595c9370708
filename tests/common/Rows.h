// Rows of a parameterized test: each row carries a `name`, which names it in a failure and lets
// --gtest_filter='Suite/Test.Behaviour/Name' run it alone. Tests are C++20, so that a row names
// the fields it sets ({.name = "Empty", .size = 0}) and leaves the others at their defaults.
#pragma once
#include <gtest/gtest.h>

#include <string>

struct RowName {
    template <class Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const
    {
        return info.param.name;
    }
};

// The rows of suite Suite, each named by its `name` field.
#define ZANDREL_ROWS(Suite, rows) INSTANTIATE_TEST_SUITE_P(Rows, Suite, ::testing::ValuesIn(rows), RowName())
