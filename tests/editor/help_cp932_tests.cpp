// Run with the ANSI code page 932 (a Japanese locale): the help's Japanese
// words are drawn with their own glyphs, not boxes or Latin-1 look-alikes.
#include "harness.h"
#include "paint.h"

#include <doctest.h>

namespace {

const wchar_t HelpInUnicode[] = L"help::\n y:\u982D\n h:\u80A9 t,u:\u8155 g,j:\u624B\n"
                                L" spase:\u80A1\u9593\n b,n:\u3072\u3056 v,m:\u8DB3";

const wchar_t JapaneseCharacters[] = L"\u982D\u80A9\u8155\u624B\u80A1\u9593\u3072\u3056\u8DB3";

// Text drawn with the device context's default font, as the help is.
Picture drawText(const wchar_t* text, int length) {
    MemoryBitmap target(250, 100);
    RECT all = {0, 0, 250, 100};
    FillRect(target.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RECT rect = HelpRect;
    DrawTextW(target.dc, text, length, &rect, DT_WORDBREAK);
    return target.picture();
}

int ink(const Picture& picture) {
    int count = 0;
    for (COLORREF pixel : picture.pixels) {
        count += pixel != White;
    }
    return count;
}

} // namespace

TEST_CASE("the ANSI code page is 932") { REQUIRE(GetACP() == 932u); }

TEST_CASE("the help as drawn is the help's Japanese text") {
    REQUIRE(GetACP() == 932u);
    Pose nowhere = DefaultPose;
    for (JointId id :
         {JointId::Head, JointId::Hip, JointId::KneeB, JointId::KneeN, JointId::FootV,
          JointId::FootM, JointId::ArmU, JointId::ArmT, JointId::HandJ, JointId::HandG}) {
        placeJoint(nowhere, id, -5000, -5000);
    }
    const Picture help = renderFigure(nowhere, 1, 250, 100);
    CHECK(help == drawText(HelpInUnicode, static_cast<int>(wcslen(HelpInUnicode))));
}

TEST_CASE("each Japanese character has a glyph of its own") {
    REQUIRE(GetACP() == 932u);
    // A character that no font has shows the missing-glyph box.
    const Picture missing = drawText(L"\xE000", 1);
    // The help's bytes read as Latin-1 would show look-alikes such as this.
    const Picture latin1 = drawText(L"\u201C\u00AA", 2);
    std::vector<Picture> glyphs;
    for (const wchar_t* c = JapaneseCharacters; *c; ++c) {
        CAPTURE(static_cast<int>(*c));
        const Picture glyph = drawText(c, 1);
        CHECK(ink(glyph) > 10);
        CHECK_FALSE(glyph == missing);
        CHECK_FALSE(glyph == latin1);
        for (const Picture& other : glyphs) {
            CHECK_FALSE(glyph == other);
        }
        glyphs.push_back(glyph);
    }
}
