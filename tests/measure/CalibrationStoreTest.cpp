// Calibration INI files: loading, saving, round trips and damaged files.
#include "CalibrationStore.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

class CalibrationStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "pellumo-cali-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, ignored);
        fs::remove_all(dir, ignored);
    }
    std::string write(const std::string& name, const std::string& content)
    {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string read(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream out;
        out << file.rdbuf();
        return out.str();
    }
    static CalibrationRecord record(const std::string& name, float factor, int unit)
    {
        CalibrationRecord r;
        EXPECT_TRUE(CalibrationRecord::make(name, factor, unit, r));
        return r;
    }
    fs::path dir;
    CalibrationStore store;
};

} // namespace

TEST_F(CalibrationStoreTest, LoadsFactorAndUnitOfANamedCalibration)
{
    const std::string path = write("c.ini", "[data]\nLens A = 0.012500\n\n[unit]\nLens A = 2\n");
    ASSERT_EQ(store.load(path), CalibrationOk);
    ASSERT_EQ(store.count(), 1);
    EXPECT_EQ(store.at(0).nameUtf8(), "Lens A");
    EXPECT_FLOAT_EQ(store.at(0).factor, 0.0125f);
    EXPECT_EQ(CalibrationStore::unitName(store.at(0).unit), "mm");
    EXPECT_FALSE(store.isModified());
}

TEST_F(CalibrationStoreTest, MissingOrMalformedUnitIsPixels)
{
    const std::string path =
        write("c.ini", "[data]\nA = 1.5\nB = 2\nC = 3\nD = 4\n[unit]\nB = two\nC = 0x4\nD = 3abc\n");
    ASSERT_EQ(store.load(path), CalibrationOk);
    ASSERT_EQ(store.count(), 4);
    EXPECT_EQ(store.at(0).unit, 0);
    EXPECT_EQ(store.at(1).unit, 0);
    EXPECT_EQ(store.at(2).unit, 4); // hexadecimal with 0x
    EXPECT_EQ(store.at(3).unit, 0);
}

TEST_F(CalibrationStoreTest, KeysInCaseInsensitiveOrderWithoutDuplicates)
{
    const std::string path = write("c.ini", "[data]\nb = 1\nA = 2\nc = 3\nB = 4\n");
    ASSERT_EQ(store.load(path), CalibrationOk);
    ASSERT_EQ(store.count(), 3);
    EXPECT_EQ(store.at(0).nameUtf8(), "A");
    EXPECT_EQ(store.at(1).nameUtf8(), "b");
    EXPECT_EQ(store.at(2).nameUtf8(), "c");
}

TEST_F(CalibrationStoreTest, UnusableEntriesAreSkipped)
{
    const std::string longName(64, 'n');
    const std::string path =
        write("c.ini", "[data]\nzero = 0\nword = abc\nhalf = 1.5x\nnan = nan\ninf = inf\nneg = -2\n" + longName +
                           " = 1\n" + std::string(63, 'k') +
                           " = 1\n"
                           "bad\xff\xfe = 1\nok = 0.5\n");
    ASSERT_EQ(store.load(path), CalibrationOk);
    ASSERT_EQ(store.count(), 2);
    EXPECT_EQ(store.at(0).nameUtf8(), std::string(63, 'k'));
    EXPECT_EQ(store.at(1).nameUtf8(), "ok");
}

TEST_F(CalibrationStoreTest, RoundTripKeepsNamesFactorsUnitsAndOrder)
{
    store.add(record("Zoom 10x", 0.000123f, 3));
    store.add(record("Объектив 4×", 2.5f, 2));
    store.add(record("显微镜", 1.0f, 5));
    EXPECT_TRUE(store.isModified());
    const std::string path = (dir / "saved.ini").string();
    ASSERT_EQ(store.save(path), CalibrationOk);
    EXPECT_FALSE(store.isModified());
    const std::string text = read(path);
    EXPECT_NE(text.find("Zoom 10x = 0.000123"), std::string::npos) << text;
    EXPECT_NE(text.find("[unit]"), std::string::npos);
    EXPECT_LT(text.find("[data]"), text.find("[unit]"));
    EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF"); // no signature

    CalibrationStore loaded;
    ASSERT_EQ(loaded.load(path), CalibrationOk);
    ASSERT_EQ(loaded.count(), 3);
    // In the INI library's key order: bytes compared without regard to ASCII
    // case, as signed chars, so multi-byte names come before ASCII letters.
    EXPECT_EQ(loaded.at(0).nameUtf8(), "Объектив 4×");
    EXPECT_FLOAT_EQ(loaded.at(0).factor, 2.5f);
    EXPECT_EQ(loaded.at(0).unit, 2);
    EXPECT_EQ(loaded.at(1).nameUtf8(), "显微镜");
    EXPECT_EQ(loaded.at(1).unit, 5);
    EXPECT_EQ(loaded.at(2).nameUtf8(), "Zoom 10x");
    EXPECT_FLOAT_EQ(loaded.at(2).factor, 0.000123f);
    EXPECT_EQ(loaded.at(2).unit, 3);
}

TEST_F(CalibrationStoreTest, TinyFactorsSurviveTheSixDecimalFormat)
{
    store.add(record("10 nm in inches", 3.937e-7f, 4));
    store.add(record("Ordinary", 0.0125f, 2));
    std::string text;
    ASSERT_TRUE(store.toIni(text));
    EXPECT_NE(text.find("Ordinary = 0.012500"), std::string::npos) << text; // six decimals where they suffice
    CalibrationStore loaded;
    ASSERT_EQ(loaded.loadFromData(text.data(), text.size()), CalibrationOk);
    ASSERT_EQ(loaded.count(), 2); // "0.000000" would have been dropped
    EXPECT_FLOAT_EQ(loaded.at(0).factor, 3.937e-7f);
    EXPECT_FLOAT_EQ(loaded.at(1).factor, 0.0125f);
}

TEST_F(CalibrationStoreTest, AddRejectsExistingNamesIgnoringAsciiCase)
{
    EXPECT_EQ(store.add(record("Lens", 1, 0)), 0);
    EXPECT_EQ(store.add(record("Lens", 2, 0)), 1);
    EXPECT_EQ(store.add(record("LENS", 2, 0)), 1); // would collapse into one INI key
    EXPECT_EQ(store.add(record("Lens 2", 2, 0)), 0);
    EXPECT_EQ(store.count(), 2);
}

TEST_F(CalibrationStoreTest, RemoveAndAtOutOfRange)
{
    store.add(record("A", 1, 0));
    EXPECT_EQ(store.at(1).factor, 0);
    EXPECT_EQ(store.at(-1).factor, 0);
    const std::string path = (dir / "c.ini").string();
    ASSERT_EQ(store.save(path), CalibrationOk);
    EXPECT_EQ(store.removeAt(3), 0);
    EXPECT_FALSE(store.isModified());
    EXPECT_EQ(store.removeAt(0), 0);
    EXPECT_TRUE(store.isModified());
    // Deleting the only record writes an empty file.
    ASSERT_EQ(store.save(path), CalibrationOk);
    EXPECT_EQ(read(path), "");
    CalibrationStore loaded;
    EXPECT_EQ(loaded.load(path), CalibrationOk);
    EXPECT_EQ(loaded.count(), 0);
}

TEST_F(CalibrationStoreTest, UnreadableFilesFailWithoutTouchingTheRecords)
{
    store.add(record("Keep me", 0.5f, 1));
    EXPECT_EQ(store.load((dir / "missing.ini").string()), CalibrationOpenFailed);
    EXPECT_EQ(store.load(dir.string()), CalibrationOpenFailed); // a folder
    ASSERT_EQ(store.count(), 1);
    EXPECT_EQ(store.at(0).nameUtf8(), "Keep me");
    EXPECT_TRUE(store.isModified());
}

TEST_F(CalibrationStoreTest, GarbageParsesToWhateverIsValidWithoutCrashing)
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.push_back(static_cast<char>((i * 7919) & 0xFF));
    const std::string path = write("garbage.ini", "[data]\nX = 1\n" + garbage + std::string(1, '\0') + "\nY = 2\n");
    EXPECT_EQ(store.load(path), CalibrationOk);
    for (int i = 0; i < store.count(); ++i)
        EXPECT_GT(store.at(i).factor, 0);
}

TEST_F(CalibrationStoreTest, FailedSaveKeepsTheOldFileAndTheModifiedFlag)
{
    const std::string path = write("c.ini", "[data]\nOld = 1.000000\n");
    store.add(record("New", 2, 0));
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    const bool canStillWrite = access(dir.c_str(), W_OK) == 0; // root ignores permissions
    if (!canStillWrite) {
        EXPECT_EQ(store.save(path), CalibrationSaveFailed);
        EXPECT_TRUE(store.isModified());
        EXPECT_EQ(read(path), "[data]\nOld = 1.000000\n");
    }
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(store.save((dir / "no-such-folder" / "c.ini").string()), CalibrationSaveFailed);
    EXPECT_TRUE(store.isModified());
    // A write that stops half-way (a full disk; the file-size limit binds
    // root too): the old file stays whole and no temporary is left.
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{8, limit.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = store.save(path);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, CalibrationSaveFailed);
    EXPECT_TRUE(store.isModified());
    EXPECT_EQ(read(path), "[data]\nOld = 1.000000\n");
    ASSERT_EQ(store.save(path), CalibrationOk);
    // Nothing but the file itself is left behind.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(CalibrationStoreTest, SaveThroughASymlinkReplacesTheTarget)
{
    const std::string target = write("real.ini", "");
    const fs::path link = dir / "link.ini";
    fs::create_symlink(target, link);
    store.add(record("A", 1, 0));
    ASSERT_EQ(store.save(link.string()), CalibrationOk);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_NE(read(target).find("A = 1.000000"), std::string::npos);
}

TEST_F(CalibrationStoreTest, FilePathInTheDocumentsFolderAndSaveIfModified)
{
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", dir.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    std::string path;
    ASSERT_EQ(CalibrationStore::calibrationFilePath(path), CalibrationOk);
    EXPECT_EQ(path, (dir / "Documents" / "Pellumo Files" / "data" / "calibrations.ini").string());
    EXPECT_TRUE(fs::is_directory(dir / "Documents" / "Pellumo Files" / "data"));

    EXPECT_EQ(store.saveIfModified(), CalibrationOk); // nothing changed: nothing written
    EXPECT_FALSE(fs::exists(path));
    store.add(record("A", 1, 0));
    EXPECT_EQ(store.saveIfModified(), CalibrationOk);
    EXPECT_TRUE(fs::exists(path));

    // A file where the folder should be.
    fs::remove_all(dir / "Documents" / "Pellumo Files");
    write("Documents/Pellumo Files", "x");
    EXPECT_EQ(CalibrationStore::calibrationFilePath(path), CalibrationCreateDirFailed);
    setenv("HOME", savedHome.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
}

TEST(CalibrationRecordTest, NamesAreLimitedTo63Utf16Units)
{
    CalibrationRecord r;
    EXPECT_TRUE(CalibrationRecord::make(std::string(63, 'a'), 1, 0, r));
    EXPECT_FALSE(CalibrationRecord::make(std::string(64, 'a'), 1, 0, r));
    // 31 characters outside the basic plane take 62 units; one more does not fit.
    std::string emoji;
    for (int i = 0; i < 31; ++i)
        emoji += "\xF0\x9F\x94\xAC";
    EXPECT_TRUE(CalibrationRecord::make(emoji + "a", 1, 0, r));
    EXPECT_EQ(r.nameUtf8(), emoji + "a");
    EXPECT_FALSE(CalibrationRecord::make(emoji + "\xF0\x9F\x94\xAC", 1, 0, r));
    EXPECT_FALSE(CalibrationRecord::make("\xC0\xAF", 1, 0, r)); // overlong
    EXPECT_EQ(CalibrationStore::unitName(5), "uin");
    EXPECT_EQ(CalibrationStore::unitName(6), "n/a");
    EXPECT_EQ(CalibrationStore::unitName(-1), "n/a");
}

TEST_F(CalibrationStoreTest, NewRecordsTakeThePlaceTheNextLoadGivesThem)
{
    // Appending would put "Obj 10x" after "Obj 40x" until the next start, which
    // sorts it first: an index remembered in between would then name the other.
    store.add(record("Obj 40x", 0.25f, 3));
    store.add(record("Obj 10x", 1.0f, 3));
    store.add(record("显微镜", 2.0f, 2)); // multi-byte names sort before ASCII letters
    store.add(record("obj 20x", 0.5f, 3));
    const std::string path = (dir / "order.ini").string();
    ASSERT_EQ(store.save(path), CalibrationOk);
    CalibrationStore loaded;
    ASSERT_EQ(loaded.load(path), CalibrationOk);
    ASSERT_EQ(loaded.count(), store.count());
    for (int i = 0; i < store.count(); ++i)
        EXPECT_EQ(store.at(i).nameUtf8(), loaded.at(i).nameUtf8()) << i;
    EXPECT_EQ(store.indexOf("Obj 10x"), 1);
    EXPECT_EQ(store.indexOf("OBJ 20X"), 2); // the file's own comparison
    EXPECT_EQ(store.indexOf("Obj 5x"), -1);
}

TEST(CalibrationNameTest, NamesTheFileCannotKeepAreRefused)
{
    for (const char* bad :
         {"", "a=b", "two\nlines", "cr\rname", "; comment", "# hash", "[section", " lead", "trail ", "\tlead tab"})
        EXPECT_FALSE(CalibrationStore::isStorableName(bad)) << bad;
    EXPECT_FALSE(CalibrationStore::isStorableName(std::string(64, 'a'))); // the record holds 63
    for (const char* good : {"Obj 10x", "a;b", "x # y", "mid[dle]", "Объектив 4×", "显微镜"})
        EXPECT_TRUE(CalibrationStore::isStorableName(good)) << good;
    EXPECT_TRUE(CalibrationStore::isStorableName(std::string(63, 'a')));
}

TEST_F(CalibrationStoreTest, APictureSizeIsKeptAndScalesTheFactorForOtherSizesOfTheSameField)
{
    CalibrationRecord sized = record("Sized", 0.002f, 2);
    sized.width = 1280;
    sized.height = 960;
    store.add(sized);
    store.add(record("Older", 0.5f, 1));
    std::string text;
    ASSERT_TRUE(store.toIni(text));
    // The design's sections stay as they were; the size has its own.
    EXPECT_NE(text.find("[size]\nSized = 1280x960\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Older", text.find("[size]")), std::string::npos) << text; // no size known
    CalibrationStore loaded;
    ASSERT_EQ(loaded.loadFromData(text.data(), text.size()), CalibrationOk);
    ASSERT_EQ(loaded.count(), 2);
    const CalibrationRecord back = loaded.at(loaded.indexOf("Sized"));
    EXPECT_EQ(back.width, 1280);
    EXPECT_EQ(back.height, 960);
    EXPECT_FALSE(loaded.at(loaded.indexOf("Older")).hasSize());

    // Half the width spans the same field with half the pixels.
    EXPECT_FLOAT_EQ(back.scaleFor(640, 480).factor, 0.004f);
    EXPECT_TRUE(back.scaleFor(640, 480).sizeFits);
    EXPECT_FLOAT_EQ(back.scaleFor(2592, 1944).factor, 0.002f * 1280 / 2592);
    EXPECT_FLOAT_EQ(back.scaleFor(1280, 960).factor, 0.002f);
    // Another aspect ratio is another field: unscaled, and said so.
    EXPECT_FALSE(back.scaleFor(1280, 720).sizeFits);
    EXPECT_FLOAT_EQ(back.scaleFor(1280, 720).factor, 0.002f);
    // No size known on either side: the factor as it is.
    EXPECT_FLOAT_EQ(back.scaleFor(0, 0).factor, 0.002f);
    EXPECT_TRUE(loaded.at(loaded.indexOf("Older")).scaleFor(640, 480).sizeFits);
    EXPECT_FLOAT_EQ(loaded.at(loaded.indexOf("Older")).scaleFor(640, 480).factor, 0.5f);

    // A size that is not two positive numbers is no size.
    const std::string damaged = "[data]\nA = 1\nB = 1\nC = 1\n[size]\nA = 640\nB = -640x480\nC = 640x480x2\n";
    ASSERT_EQ(loaded.loadFromData(damaged.data(), damaged.size()), CalibrationOk);
    ASSERT_EQ(loaded.count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(loaded.at(i).hasSize()) << i;
}
