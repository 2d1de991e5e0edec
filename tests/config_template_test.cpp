// The dialog template 2003 as the built programs carry it, read back and compared field by field.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

const WORD kAtomButton = 0x0080, kAtomEdit = 0x0081, kAtomStatic = 0x0082, kAtomComboBox = 0x0085;

struct ExpectedControl {
  WORD id;
  WORD classAtom;
  const wchar_t *text;
  short x, y, cx, cy;
  DWORD style;
};

const ExpectedControl kControls[] = {
    {2011, kAtomEdit, L"Edit1", 4, 16, 228, 12, 0x50810000},
    {2031, kAtomComboBox, L"ComboBox1", 36, 32, 60, 100, 0x50210142},
    {0xFFFF, kAtomStatic, L"表示させる文字列", 4, 4, 52, 8, 0x50000000},
    {2021, kAtomButton, L"閉じる", 80, 148, 68, 16, 0x50010300},
    {2023, kAtomButton, L"フォント", 172, 28, 28, 14, 0x50010300},
    {0xFFFF, kAtomStatic, L"サイクル時間", 4, 120, 40, 8, 0x50000000},
    {2012, kAtomEdit, L"Edit3", 48, 120, 28, 12, 0x50810000},
    {0xFFFF, kAtomStatic, L"表示方法", 4, 36, 28, 8, 0x50000000},
    {2013, kAtomEdit, L"Edit4", 4, 64, 208, 12, 0x50810000},
    {0xFFFF, kAtomStatic, L"グラフィックのフォルダ指定", 4, 56, 80, 8, 0x50000000},
    {2024, kAtomButton, L"．．．", 212, 64, 20, 12, 0x50010300},
    {2032, kAtomComboBox, L"ComboBox1", 44, 80, 40, 100, 0x50210142},
    {0xFFFF, kAtomStatic, L"ファイル種類", 4, 80, 40, 8, 0x50000000},
    {2030, kAtomButton, L"じわじわ切替", 36, 96, 52, 8, 0x58010003},
    {2033, kAtomComboBox, L"ComboBox1", 124, 80, 76, 100, 0x50210142},
    {0xFFFF, kAtomStatic, L"表示方法", 92, 88, 28, 8, 0x50000000},
    {101, kAtomButton, L"文字の色", 200, 28, 32, 14, 0x50010300},
    {102, kAtomEdit, L"Edit4", 176, 96, 24, 12, 0x50810000},
    {103, kAtomStatic, L"ランダム時サイズ", 124, 96, 52, 8, 0x50000000},
    {104, kAtomEdit, L"Edit5", 128, 120, 20, 12, 0x50810000},
    {105, kAtomStatic, L"画面クリア回数", 80, 120, 48, 12, 0x50000000},
    {106, kAtomStatic, L"Frame1", 4, 51, 228, 1, 0x50000012},
    {107, kAtomStatic, L"Frame2", 4, 112, 228, 1, 0x50000012},
    {108, kAtomStatic, L"Frame3", 4, 140, 228, 1, 0x50000012},
};

// A name or ordinal field of a template: 0x0000 none, 0xFFFF then an ordinal, else a string.
struct NameOrOrdinal {
  bool isOrdinal = false;
  WORD ordinal = 0;
  std::wstring name;
};

struct ParsedControl {
  DWORD style, exStyle;
  short x, y, cx, cy;
  WORD id;
  NameOrOrdinal windowClass;
  NameOrOrdinal text;
  WORD extraBytes;
};

struct ParsedTemplate {
  DWORD style, exStyle;
  WORD count;
  short x, y, cx, cy;
  NameOrOrdinal menu, windowClass;
  std::wstring caption;
  WORD pointSize;
  std::wstring face;
  std::vector<ParsedControl> controls;
};

// Reads the standard (not extended) template format, bounds-checked against its size.
class TemplateReader {
 public:
  TemplateReader(const BYTE *data, size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  size_t offset() const { return offset_; }

  WORD Word() {
    if (offset_ + 2 > size_) return Fail();
    WORD value = static_cast<WORD>(data_[offset_] | (data_[offset_ + 1] << 8));
    offset_ += 2;
    return value;
  }
  DWORD Dword() {
    DWORD low = Word();
    return low | (static_cast<DWORD>(Word()) << 16);
  }
  short Short() { return static_cast<short>(Word()); }
  std::wstring String() {
    std::wstring text;
    for (WORD c = Word(); ok_ && c != 0; c = Word()) text += static_cast<wchar_t>(c);
    return text;
  }
  NameOrOrdinal Field() {
    NameOrOrdinal field;
    WORD first = Word();
    if (first == 0xFFFF) {
      field.isOrdinal = true;
      field.ordinal = Word();
    } else if (first != 0) {
      offset_ -= 2;
      field.name = String();
    }
    return field;
  }
  void AlignDword() { offset_ = (offset_ + 3) & ~static_cast<size_t>(3); }

 private:
  WORD Fail() {
    ok_ = false;
    offset_ = size_;
    return 0;
  }
  const BYTE *data_;
  size_t size_;
  size_t offset_ = 0;
  bool ok_ = true;
};

bool ParseTemplate(const BYTE *data, size_t size, ParsedTemplate *out) {
  TemplateReader reader(data, size);
  out->style = reader.Dword();
  out->exStyle = reader.Dword();
  out->count = reader.Word();
  out->x = reader.Short();
  out->y = reader.Short();
  out->cx = reader.Short();
  out->cy = reader.Short();
  out->menu = reader.Field();
  out->windowClass = reader.Field();
  out->caption = reader.String();
  if (out->style & DS_SETFONT) {
    out->pointSize = reader.Word();
    out->face = reader.String();
  }
  for (WORD i = 0; i < out->count && reader.ok(); ++i) {
    reader.AlignDword();
    ParsedControl control;
    control.style = reader.Dword();
    control.exStyle = reader.Dword();
    control.x = reader.Short();
    control.y = reader.Short();
    control.cx = reader.Short();
    control.cy = reader.Short();
    control.id = reader.Word();
    control.windowClass = reader.Field();
    control.text = reader.Field();
    control.extraBytes = reader.Word();
    out->controls.push_back(control);
  }
  return reader.ok();
}

std::string BuildFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, sizeof(path));
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

// Loads the template of one built program as data; skips when that build is missing.
class ConfigTemplateTest : public testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
    std::string program = BuildFolder() + GetParam();
    if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << program << " not built";
    module_ = LoadLibraryExA(program.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module_) << program;
    HRSRC resource = FindResourceExA(module_, MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(2003),
                                     MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_NE(nullptr, resource) << "dialog 2003, language neutral";
    HGLOBAL loaded = LoadResource(module_, resource);
    ASSERT_NE(nullptr, loaded);
    const BYTE *data = static_cast<const BYTE *>(LockResource(loaded));
    ASSERT_TRUE(ParseTemplate(data, SizeofResource(module_, resource), &template_)) << "template cut short";
  }
  void TearDown() override {
    if (module_ != NULL) FreeLibrary(module_);
  }
  HMODULE module_ = NULL;
  ParsedTemplate template_;
};

TEST_P(ConfigTemplateTest, HeaderIsTheStandardTemplateOfTheSettingsScreen) {
  // The extended format starts with the words 1, 0xFFFF; the standard one with the style.
  EXPECT_EQ(0x90C820C4u, template_.style);
  EXPECT_EQ(0u, template_.exStyle);
  EXPECT_EQ(24, template_.count);
  EXPECT_EQ(0, template_.x);
  EXPECT_EQ(0, template_.y);
  EXPECT_EQ(236, template_.cx);
  EXPECT_EQ(168, template_.cy);
  EXPECT_FALSE(template_.menu.isOrdinal);
  EXPECT_TRUE(template_.menu.name.empty()) << "no menu";
  EXPECT_FALSE(template_.windowClass.isOrdinal);
  EXPECT_TRUE(template_.windowClass.name.empty()) << "the predefined dialog class";
  EXPECT_EQ(std::wstring(L"Orvalo設定画面"), template_.caption);
  EXPECT_EQ(9, template_.pointSize);
  EXPECT_EQ(std::wstring(L"ＭＳ Ｐゴシック"), template_.face);
}

TEST_P(ConfigTemplateTest, ControlsFollowTheTableInOrder) {
  ASSERT_EQ(ARRAYSIZE(kControls), template_.controls.size());
  for (size_t i = 0; i < ARRAYSIZE(kControls); ++i) {
    const ExpectedControl &want = kControls[i];
    const ParsedControl &got = template_.controls[i];
    SCOPED_TRACE(testing::Message() << "control #" << (i + 1) << " id " << want.id);
    EXPECT_EQ(want.id, got.id);
    EXPECT_TRUE(got.windowClass.isOrdinal) << "class stored as an atom";
    EXPECT_EQ(want.classAtom, got.windowClass.ordinal);
    EXPECT_FALSE(got.text.isOrdinal);
    EXPECT_EQ(std::wstring(want.text), got.text.name);
    EXPECT_EQ(want.x, got.x);
    EXPECT_EQ(want.y, got.y);
    EXPECT_EQ(want.cx, got.cx);
    EXPECT_EQ(want.cy, got.cy);
    EXPECT_EQ(want.style, got.style) << std::hex << "0x" << got.style;
    EXPECT_EQ(0u, got.exStyle);
    EXPECT_EQ(0, got.extraBytes) << "no creation data";
  }
}

INSTANTIATE_TEST_SUITE_P(BuiltPrograms, ConfigTemplateTest,
                         testing::Values("lumeta_show.scr", "..\\x86\\lumeta_show.scr"),
                         [](const testing::TestParamInfo<const char *> &info) {
                           return std::string(info.index == 0 ? "ThisBuild" : "X86Build");
                         });

}  // namespace
