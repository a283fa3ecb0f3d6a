#include "analysis/tableexport.h"

#include <gtest/gtest.h>

#include "support/printing.h"

using namespace verna::analysis;
using namespace Qt::StringLiterals;

// A company named like a formula must reach a spreadsheet as text; numbers stay numbers.
TEST(TableExport, FormulaLikeCellsAreNeutralisedNumbersAreNot)
{
    ExportTable table;
    table.header << QStringList{u"=Název"_s, u"Období"_s};
    table.rows << QStringList{u"=HYPERLINK(\"http://x\",\"a\")"_s, u"-12.5"_s} << QStringList{u"+420 123"_s, u"-1 234,50"_s}
               << QStringList{u"@SUM(A1)"_s, u"-1+1"_s} << QStringList{u"\tx"_s, u"a=b"_s};
    EXPECT_EQ(tableAsCsv(table), u"'=Název,Období\n"
                                 "\"'=HYPERLINK(\"\"http://x\"\",\"\"a\"\")\",-12.5\n"
                                 "+420 123,\"-1 234,50\"\n"
                                 "'@SUM(A1),'-1+1\n"
                                 "'\tx,a=b\n"_s);
    EXPECT_EQ(cellsAsTsv({{u"-5"_s, u"=1+1"_s, u"\r=2"_s}}), u"-5\t'=1+1\t' =2\n"_s);
}
