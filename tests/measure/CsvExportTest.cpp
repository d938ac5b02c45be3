// CSV export compared byte for byte with files written by hand.
#include "LabelFont.h"
#include "MeasureCsv.h"
#include "MeasureTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace measuretest;

namespace {

const bool fontless = (measure::setLabelFontPath("/nonexistent/pellumo-test-font.ttf"), true);

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream out;
    out << file.rdbuf();
    return out.str();
}

std::string expected(const char* name) { return readFile(std::string(PELLUMO_MEASURE_TEST_DATA) + "/" + name); }

class CsvExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = "/tmp/pellumo-csv-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".csv";
    }
    void TearDown() override { std::remove(path.c_str()); }
    std::string path;
    SFPrimitiveContainer c;
    Operator op{c};
};

} // namespace

TEST_F(CsvExportTest, MixedPrimitivesWithLengthAndDistanceColumns)
{
    op.place(ToolLine, {{10, 10}, {110, 10}});
    op.park();
    op.place(ToolRect, {{210, 10}, {310, 60}});
    op.park();
    op.place(ToolLineDistance, {{0, 100}, {100, 100}, {20, 160}, {80, 160}});
    op.park();
    op.place(ToolPoint, {{12.5f, 30}});
    op.park();
    c.setTool(ToolParallels);
    op.click(0, 400);
    op.click(300, 400);
    for (float x : {10.f, 20.f, 20.f, 30.f, 40.f, 50.f, 70.f})
        op.click(x, 450);
    op.rightClick(80, 450);
    op.park();
    op.place(ToolCircle, {{200, 300}, {250, 300}});
    ASSERT_EQ(c.count(), 6);
    ASSERT_TRUE(c.exportCsv(path, "px"));
    EXPECT_EQ(readFile(path), expected("mixed.csv"));
}

TEST_F(CsvExportTest, NoDistancesGivesOneDistanceColumnAndSmallNumbersInScientificForm)
{
    c.setCalibration("mm", 1.2e-7f);
    op.place(ToolLine, {{10, 10}, {110, 10}});
    op.park();
    op.place(ToolRect, {{200, 200}, {300, 250}});
    op.park();
    op.place(ToolAngle, {{500, 400}, {400, 400}, {400, 300}});
    ASSERT_TRUE(c.exportCsv(path, "mm"));
    EXPECT_EQ(readFile(path), expected("no_distances.csv"));
}

TEST_F(CsvExportTest, NoLengthsAtAllGivesASingleLengthColumn)
{
    op.place(ToolPoint, {{5, 7}});
    ASSERT_TRUE(c.exportCsv(path, "px"));
    EXPECT_EQ(readFile(path), expected("no_lengths.csv"));
}

TEST_F(CsvExportTest, ExportTruncatesAnOlderFileAndReportsAnUnwritablePath)
{
    {
        std::ofstream old(path);
        old << std::string(10000, 'x');
    }
    op.place(ToolPoint, {{5, 7}});
    ASSERT_TRUE(c.exportCsv(path, "px"));
    EXPECT_EQ(readFile(path), expected("no_lengths.csv"));
    EXPECT_FALSE(c.exportCsv("/nonexistent-folder/results.csv", "px"));
}

TEST(CsvWriter, RowsWithMoreValuesWidenTheTableForAll)
{
    MeasureData a;
    a.lengths = {1, 2, 3};
    MeasureData b;
    b.distances = {0.5f, 4};
    std::ostringstream out;
    ASSERT_TRUE(writeMeasureCsv(out, {{"A", a}, {"B", b}}, "in"));
    EXPECT_EQ(out.str(), "Measurement data list (Unit: in)\n"
                         "Index,Type,Center,Start,End,Width,Height,Radius,Area,Perimeter,Length1,Length2,Length3,Angle,"
                         "Distance1,Distance2\n"
                         "0,A,\"[0,0]\",\"[0,0]\",\"[0,0]\",0,0,0,0,0,1,2,3,0,0,0,\n"
                         "1,B,\"[0,0]\",\"[0,0]\",\"[0,0]\",0,0,0,0,0,0,0,0,0,0.5,4,\n");
}
