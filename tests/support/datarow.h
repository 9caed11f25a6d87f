// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QTest>

// One row of a data table with its cells in column order: dataRow("name", a, b) is
// QTest::newRow("name") << a << b, kept to one line where the cells fit.
template <typename... Cells> void dataRow(const char* name, const Cells&... cells)
{
    (QTest::newRow(name) << ... << cells);
}
