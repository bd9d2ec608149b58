#include "system/message_box.h"

#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"
#include "platform/utf.h"

namespace varnisk::system {
namespace {

using engine::FakeApp;

// Records the boxes it is asked to show and closes each with button.
class RecordingUi : public ui::NoneUi {
 public:
  Result ShowMessageBox(std::u16string_view caption, std::u16string_view text,
                        uint32_t flags) override {
    char code[16];
    std::snprintf(code, sizeof code, "0x%X", flags);
    boxes.push_back("[" + platform::Utf16ToUtf8(caption) + "] " + platform::Utf16ToUtf8(text) +
                    " " + code);
    return button;
  }
  std::vector<std::string> boxes;
  Result button = 6;
};

TEST(MessageBoxTest, TextCaptionAndFlags) {
  struct Case {
    const char* line;
    const char* box;
  } cases[] = {
      {"MSGX Hello", "[Varnisk] Hello 0x10040"},
      {"MSGX Hello,Title", "[Title] Hello 0x10040"},
      {"MSGX Continue?,Setup,36", "[Setup] Continue? 0x10024"},
      {"MSGX a,,0", "[] a 0x10000"},
      {"MSGX a,b,", "[b] a 0x10000"},
      {"MSGX a,b,4,x", "[b] a 0x10004"},
      {"MSGX", "[Varnisk]  0x10040"},
      {"MSGX 中文,标题", "[标题] 中文 0x10040"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    FakeApp fake;
    RecordingUi ui;
    fake.app.ui = &ui;
    EXPECT_EQ(fake.Run(c.line), 6u);
    EXPECT_EQ(ui.boxes, std::vector<std::string>{c.box});
  }
}

TEST(MessageBoxTest, TheButtonIsTheResultAndZeroWithoutAWindow) {
  FakeApp fake;
  RecordingUi ui;
  ui.button = 7;
  fake.app.ui = &ui;
  EXPECT_EQ(fake.Run("MSGX Continue?,Setup,36"), 7u);
  fake.Run("MSGX Continue?,Setup,36\nIFEX %x==7,EVAL 1=no");
  EXPECT_EQ(fake.Variable(1), "no");
  FakeApp windowless;
  EXPECT_EQ(windowless.Run("MSGX Hello"), 0u);
}

}  // namespace
}  // namespace varnisk::system
