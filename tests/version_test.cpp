// The version record of the built DLL, read the way Windows' file properties
// and installers read it: it must give the project's version.
#include <gtest/gtest.h>

#include <windows.h>

#include "keywatch_version.h"

#include <string>
#include <vector>

namespace {

std::vector<char> version_record() {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(KEYWATCH_MODULE_FILE, &ignored);
    std::vector<char> record(size);
    if (size == 0 || !GetFileVersionInfoA(KEYWATCH_MODULE_FILE, 0, size, record.data()))
        record.clear();
    return record;
}

std::string text(std::vector<char>& record, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(record.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr)
        return "<missing>";
    return std::string(value, strnlen(value, length));
}

TEST(VersionRecord, NumbersAndNamesIdentifyThisVersionOfKeywatch) {
    std::vector<char> record = version_record();
    ASSERT_FALSE(record.empty()) << "no version record in " << KEYWATCH_MODULE_FILE;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    // major.minor in the high word, patch.0 in the low one
    const DWORD high = MAKELONG(KEYWATCH_VERSION_MINOR, KEYWATCH_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, KEYWATCH_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    struct {
        WORD language;
        WORD code_page;
    }* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(record.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, sizeof *translation);
    EXPECT_EQ(translation->language, 0x0409);
    EXPECT_EQ(translation->code_page, 1252);

    EXPECT_EQ(text(record, "FileVersion"), KEYWATCH_VERSION);
    EXPECT_EQ(text(record, "ProductVersion"), KEYWATCH_VERSION ".0");
    EXPECT_EQ(text(record, "ProductName"), "keywatch");
    EXPECT_EQ(text(record, "OriginalFilename"), "keywatch_x64.dll");
}

} // namespace
