#include "common/Paths.h"

#include <gtest/gtest.h>

namespace {

using common::PathStyle;

struct PathCase {
    std::u16string input, normalized, fileName;
};

template <std::size_t N> void ExpectSplits(const PathCase (&cases)[N], PathStyle style)
{
    for (const PathCase& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        EXPECT_EQ(common::NormalizePath(c.input, style), c.normalized);
        EXPECT_EQ(common::GetFileNamePart(c.input, style), c.fileName);
    }
}

TEST(Paths, WindowsStyleGivesTheWorkedResults)
{
    const PathCase cases[] = {
        { u"C:\\Src\\Form1.frm", u"c:\\src\\", u"form1.frm" },
        { u"  D:\\Work\\Src  ", u"d:\\work\\src\\", u"src" },
        { u"c:\\src\\", u"c:\\src\\\\", u"" },
        { u"c:\\src\\*.*", u"c:\\src\\", u"*.*" },
        { u"c:\\my.dir\\sub", u"c:\\my.dir\\", u"sub" },
        { u"c:\\my.dir", u"c:\\", u"my.dir" },
        { u"c:\\my.dir\\", u"c:\\my.dir\\", u"" },
        { u"c:\\", u"c:\\\\", u"" },
        { u"c:", u"c:\\", u"" },
        { u"c:form1.frm", u"c:", u"form1.frm" },
        { u"form1.frm", u"form1.frm", u"" },
        { u"sub", u"sub\\", u"" },
        { u"", u"\\", u"" },
        { u"   ", u"\\", u"" },
        { u"C:\\データ\\ＡＢ", u"c:\\データ\\ａｂ\\", u"ａｂ" },
    };
    ExpectSplits(cases, PathStyle::Windows);
}

TEST(Paths, PosixStyleKeepsCaseHasNoDriveAndUsesSlash)
{
    const PathCase cases[] = {
        { u"/Src/Form1.frm", u"/Src/", u"Form1.frm" },
        { u"  /Work/Src  ", u"/Work/Src/", u"Src" },
        { u"/src/", u"/src//", u"" },
        { u"/src/*.*", u"/src/", u"*.*" },
        { u"/my.dir/sub", u"/my.dir/", u"sub" },
        { u"/", u"//", u"" },
        { u"c:form1.frm", u"c:form1.frm", u"" },
        { u"a\\b.c", u"a\\b.c", u"" },
        { u"Form1.frm", u"Form1.frm", u"" },
        { u"sub", u"sub/", u"" },
        { u"", u"/", u"" },
    };
    ExpectSplits(cases, PathStyle::Posix);
}

} // namespace
