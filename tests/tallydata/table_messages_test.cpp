// table_messages_test.cpp -- what the fuzzer found in the table reader's messages: a
// message that quotes a cell holding a line end (or another control character) must
// still be one line, or the FILE:LINE:FIELD layout of every later line is broken.
#include "tables.h"

#include <gtest/gtest.h>

#include <string>

TEST(TableMessages, CellsWithLineEndsAndControlCharactersStayOnOneLine)
{
    const std::string text = std::string("zip,year,population,households,families\n"
                                         "77002,1990,\"a\nb\",\"c\r\nd\",1\n"
                                         "77003,2000,\"\x01\x7f\",1,1\n");
    TableSet set;
    Diagnostics diag;
    EXPECT_EQ(read_table("t.csv", text.data(), text.size(), TABLE_CENSUS, set, diag), 0);
    ASSERT_EQ(diag.errors, 3);
    for (const std::string &line : diag.lines) {
        EXPECT_EQ(line.find_first_of("\n\r\x01\x7f"), std::string::npos) << line;
        EXPECT_EQ(line.rfind("tallydata: t.csv:", 0), 0u) << line;
    }
    // the cell is still recognisable in the message
    EXPECT_NE(diag.lines[0].find("a\\nb"), std::string::npos) << diag.lines[0];
    EXPECT_NE(diag.lines[1].find("c\\r\\nd"), std::string::npos) << diag.lines[1];
    EXPECT_NE(diag.lines[2].find("\\x01\\x7f"), std::string::npos) << diag.lines[2];
}
