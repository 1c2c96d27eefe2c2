// Template reading of DialogFontScaler on built templates of both forms and on the program's
// own dialogs: the font block, the menu flag, item counts, and the walk from item to item with
// extra data and 4-byte alignment.
#include "DialogFontScaler.h"
#include "LayoutTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Writes template bytes and remembers offsets of interest.
class TemplateBuilder {
public:
    TemplateBuilder& Word(WORD value) { return Raw(&value, 2); }
    TemplateBuilder& Dword(DWORD value) { return Raw(&value, 4); }
    TemplateBuilder& String(const wchar_t* text) {
        for (; *text != 0; ++text) {
            Word(static_cast<WORD>(*text));
        }
        return Word(0);
    }
    TemplateBuilder& Ordinal(WORD value) { return Word(0xFFFF).Word(value); }
    TemplateBuilder& Bytes(size_t count) {
        m_bytes.insert(m_bytes.end(), count, 0xAB);
        return *this;
    }
    TemplateBuilder& Align4() {
        while (m_bytes.size() % 4 != 0) {
            m_bytes.push_back(0);
        }
        return *this;
    }
    size_t Here() const { return m_bytes.size(); }

    // A 4-byte aligned copy, as LockResource gives it.
    std::vector<DWORD> Build() const {
        std::vector<DWORD> storage((m_bytes.size() + 3) / 4 + 1, 0);
        std::memcpy(storage.data(), m_bytes.data(), m_bytes.size());
        return storage;
    }

private:
    TemplateBuilder& Raw(const void* data, size_t size) {
        const BYTE* bytes = static_cast<const BYTE*>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + size);
        return *this;
    }
    std::vector<BYTE> m_bytes;
};

const BYTE* At(const std::vector<DWORD>& storage, size_t offset) {
    return reinterpret_cast<const BYTE*>(storage.data()) + offset;
}

std::wstring Face(const DialogFontInfo& info) {
    return info.faceName != nullptr ? std::wstring(info.faceName) : L"<null>";
}

// An extended template: menu and class by name and ordinal, an italic bold font, and three
// items with 0, 3 and 0 bytes of extra data.
struct ExtendedSample {
    std::vector<DWORD> storage;
    size_t faceOffset;
    std::vector<size_t> items;
};

ExtendedSample BuildExtended(DWORD style, bool menuByName) {
    TemplateBuilder b;
    b.Word(1).Word(0xFFFF).Dword(0).Dword(WS_EX_APPWINDOW).Dword(style);
    b.Word(3).Word(0).Word(0).Word(120).Word(80);
    if (menuByName) {
        b.String(L"MAINMENU");
    } else {
        b.Ordinal(950);
    }
    b.Ordinal(0x8002).String(L"Sample");
    size_t face = 0;
    if (style & DS_SETFONT) {
        b.Word(9).Word(FW_BOLD).Word(0xEE01); // italic 1, character set 0xEE
        face = b.Here();
        b.String(L"Arial");
    }
    std::vector<size_t> items;
    const struct {
        DWORD id;
        bool classByName;
        WORD extra;
    } rows[] = {{1, false, 0}, {0xFFFFFFFF, true, 3}, {77, false, 0}};
    for (const auto& row : rows) {
        b.Align4();
        items.push_back(b.Here());
        b.Dword(0).Dword(0).Dword(WS_CHILD).Word(1).Word(2).Word(3).Word(4).Dword(row.id);
        if (row.classByName) {
            b.String(L"msctls_trackbar32").Ordinal(5);
        } else {
            b.Ordinal(0x0080).String(L"OK");
        }
        b.Word(row.extra).Bytes(row.extra);
    }
    b.Align4();
    items.push_back(b.Here());
    return {b.Build(), face, items};
}

TEST(TemplateReader, ExtendedFormReadsTheFontBlockAndWalksItemsWithExtraData) {
    ExtendedSample t = BuildExtended(DS_SETFONT | WS_POPUP, true);
    const void* tmpl = t.storage.data();
    EXPECT_TRUE(DialogFontScaler::IsExtendedTemplate(tmpl));
    EXPECT_EQ(DialogFontScaler::ItemCount(tmpl), 3);

    DialogFontInfo info = DialogFontScaler::ReadDialogFont(tmpl);
    EXPECT_EQ(info.pointSize, 9);
    EXPECT_TRUE(info.hasMenu) << "a menu named by a string";
    EXPECT_EQ(info.weight, FW_BOLD);
    EXPECT_EQ(info.italic, 1) << "the low byte only; the character set is not italic";
    EXPECT_EQ(Face(info), L"Arial");
    EXPECT_EQ(reinterpret_cast<const BYTE*>(info.faceName), At(t.storage, t.faceOffset))
        << "the face name points into the template";

    const BYTE* item = DialogFontScaler::FirstItem(tmpl);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        EXPECT_EQ(item, At(t.storage, t.items[i]));
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(item) % 4, 0u);
        item = DialogFontScaler::NextItem(item, true);
    }
    EXPECT_EQ(item, At(t.storage, t.items[3])) << "the walk ends after the last item";
}

TEST(TemplateReader, MenuFieldDecidesHasMenu) {
    ExtendedSample byOrdinal = BuildExtended(DS_SETFONT | WS_POPUP, false);
    EXPECT_TRUE(DialogFontScaler::ReadDialogFont(byOrdinal.storage.data()).hasMenu);
    EXPECT_EQ(DialogFontScaler::FirstItem(byOrdinal.storage.data()),
              At(byOrdinal.storage, byOrdinal.items[0]));

    TemplateBuilder none;
    none.Word(1).Word(0xFFFF).Dword(0).Dword(0).Dword(DS_SETFONT).Word(0);
    none.Word(0).Word(0).Word(10).Word(10).Word(0).Word(0).String(L"");
    none.Word(8).Word(0).Word(0x0100).String(L"MS Shell Dlg");
    std::vector<DWORD> storage = none.Build();
    DialogFontInfo info = DialogFontScaler::ReadDialogFont(storage.data());
    EXPECT_FALSE(info.hasMenu);
    EXPECT_EQ(info.pointSize, 8);
    EXPECT_EQ(info.weight, 0);
    EXPECT_EQ(info.italic, 0);
    EXPECT_EQ(Face(info), L"MS Shell Dlg");
    EXPECT_EQ(DialogFontScaler::ItemCount(storage.data()), 0);
}

TEST(TemplateReader, WithoutSetFontEitherFormGivesTahomaEightPointsNormalWeight) {
    ExtendedSample extended = BuildExtended(WS_POPUP, true);
    TemplateBuilder plain;
    plain.Dword(WS_POPUP).Dword(0).Word(0).Word(0).Word(0).Word(10).Word(10);
    plain.Word(0).Word(0).String(L"No font");
    std::vector<DWORD> plainStorage = plain.Build();

    const struct {
        const char* name;
        const void* tmpl;
    } rows[] = {{"extended", extended.storage.data()}, {"plain", plainStorage.data()}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DialogFontInfo info = DialogFontScaler::ReadDialogFont(row.tmpl);
        EXPECT_EQ(info.pointSize, 8);
        EXPECT_EQ(info.weight, 400);
        EXPECT_EQ(info.italic, 0);
        EXPECT_EQ(Face(info), L"Tahoma");
    }
    // Without the font block the first item follows the title directly.
    EXPECT_EQ(DialogFontScaler::FirstItem(extended.storage.data()),
              At(extended.storage, extended.items[0]));
}

TEST(TemplateReader, PlainFormReadsItsFontAndCountsExtraDataWithItsOwnWord) {
    TemplateBuilder b;
    b.Dword(DS_SETFONT | WS_POPUP).Dword(0).Word(3).Word(0).Word(0).Word(100).Word(50);
    b.Ordinal(950).String(L"").String(L"Plain");
    b.Word(0xFFF8).String(L"MS Sans Serif");
    std::vector<size_t> items;
    // Extra-data words of 0, 4 (its own word and 2 bytes) and 0.
    const WORD extras[] = {0, 4, 0};
    for (WORD extra : extras) {
        b.Align4();
        items.push_back(b.Here());
        b.Dword(WS_CHILD).Dword(0).Word(1).Word(2).Word(3).Word(4).Word(10);
        b.Ordinal(0x0080).String(L"Go").Word(extra).Bytes(extra == 0 ? 0 : extra - 2);
    }
    b.Align4();
    items.push_back(b.Here());
    std::vector<DWORD> storage = b.Build();
    const void* tmpl = storage.data();

    EXPECT_FALSE(DialogFontScaler::IsExtendedTemplate(tmpl));
    EXPECT_EQ(DialogFontScaler::ItemCount(tmpl), 3);
    DialogFontInfo info = DialogFontScaler::ReadDialogFont(tmpl);
    EXPECT_EQ(info.pointSize, 0xFFF8) << "read as unsigned; the layout makes it 8";
    EXPECT_TRUE(info.hasMenu) << "a menu by ordinal";
    EXPECT_EQ(info.weight, 0);
    EXPECT_EQ(info.italic, 0);
    EXPECT_EQ(Face(info), L"MS Sans Serif");

    const BYTE* item = DialogFontScaler::FirstItem(tmpl);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        EXPECT_EQ(item, At(storage, items[i]));
        item = DialogFontScaler::NextItem(item, false);
    }
    EXPECT_EQ(item, At(storage, items[3]));
}

TEST(TemplateReader, ItemCountIsAnUnsignedWordInEitherForm) {
    const WORD counts[] = {0, 1, 0x7FFF, 0x8000, 0xFFFF};
    for (WORD count : counts) {
        SCOPED_TRACE(count);
        TemplateBuilder extended;
        extended.Word(1).Word(0xFFFF).Dword(0).Dword(0).Dword(0).Word(count);
        TemplateBuilder plain;
        plain.Dword(0).Dword(0).Word(count);
        EXPECT_EQ(DialogFontScaler::ItemCount(extended.Build().data()), count);
        EXPECT_EQ(DialogFontScaler::ItemCount(plain.Build().data()), count);
    }
}

// Each item's id, x, y, cx and cy, read at their offsets, as the walk from item to item finds
// them.
using ItemFields = std::array<int, 5>;

std::vector<ItemFields> WalkResource(UINT id) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), RT_DIALOG);
    EXPECT_NE(info, nullptr);
    const BYTE* tmpl = static_cast<const BYTE*>(LockResource(LoadResource(module, info)));
    std::vector<ItemFields> items;
    const BYTE* item = DialogFontScaler::FirstItem(tmpl);
    for (int i = 0; i < DialogFontScaler::ItemCount(tmpl); ++i) {
        std::int32_t itemId = 0;
        short place[4] = {};
        std::memcpy(&itemId, item + 20, 4);
        std::memcpy(place, item + 12, sizeof(place));
        items.push_back({itemId, place[0], place[1], place[2], place[3]});
        item = DialogFontScaler::NextItem(item, true);
    }
    // The last item's successor is the template's end, up to the closing alignment.
    const size_t end = static_cast<size_t>(item - tmpl);
    EXPECT_LE(end, (SizeofResource(module, info) + 3) & ~static_cast<size_t>(3));
    EXPECT_GE(end, SizeofResource(module, info));
    return items;
}

TEST(TemplateReader, ProgramTemplatesAreExtendedWithMsShellDlgAndWalkToTheirEnd) {
    for (const ProgramDialog& dialog : kProgramDialogs) {
        SCOPED_TRACE(dialog.name);
        HMODULE module = GetModuleHandleA(nullptr);
        const void* tmpl = LockResource(
            LoadResource(module, FindResourceA(module, MAKEINTRESOURCEA(dialog.id), RT_DIALOG)));
        ASSERT_NE(tmpl, nullptr);
        EXPECT_TRUE(DialogFontScaler::IsExtendedTemplate(tmpl));
        DialogFontInfo info = DialogFontScaler::ReadDialogFont(tmpl);
        EXPECT_EQ(info.pointSize, 8);
        EXPECT_FALSE(info.hasMenu);
        EXPECT_EQ(info.weight, 0);
        EXPECT_EQ(info.italic, 0);
        EXPECT_EQ(Face(info), L"MS Shell Dlg");
        std::vector<ItemFields> expected;
        for (const TemplateItem& item : dialog.items) {
            expected.push_back({item.id, item.x, item.y, item.cx, item.cy});
        }
        EXPECT_EQ(WalkResource(dialog.id), expected);
    }
}

} // namespace
