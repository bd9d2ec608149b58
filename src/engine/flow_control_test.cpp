#include <gtest/gtest.h>

#include "engine/testing/fake_app.h"

namespace varnisk::engine {
namespace {

// Each case runs a script and reads what it left in %1 and the run's result. Scripts
// record the lines they ran by appending letters to %1 with "EVAL 1=%1x".
struct FlowCase {
  const char* name;
  const char* script;
  const char* slot1;
  Result result;
};

void RunCases(std::initializer_list<FlowCase> cases) {
  for (const FlowCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeApp fake;
    EXPECT_EQ(fake.Run(c.script), c.result);
    EXPECT_EQ(fake.Variable(1), c.slot1);
  }
}

TEST(FlowControlTest, KeywordsAreRecognisedWithoutCase) {
  RunCases({
      {"lower case", "eval 1=a", "a", 0},
      {"mixed case and blanks", "Eval   1=b", "b", 0},
      {"nothing between keyword and argument", "EVAL1=c", "c", 0},
      {"three letters are a path", "EVA", "", kErrorFileNotFound},
  });
}

TEST(FlowControlTest, Batch) {
  RunCases({
      {"pieces run in turn", "BATC EVAL 1=a;EVAL 2=b;EVAL x=5", "a", 5},
      {"a blank after ; makes a path", "BATC EVAL x=1; EVAL x=2", "", kErrorFileNotFound},
      {"an empty last piece is a path", "BATC EVAL x=1;", "", kErrorFileNotFound},
      {"pieces share the run", "BATC GOTO p;EVAL 1=no\nEVAL 1=%1x\nPROC p\nEVAL 1=%1y\nENDP p\nEVAL 1=%1z",
       "noy", 0},
  });
}

TEST(FlowControlTest, IfexInlineAndElse) {
  RunCases({
      {"true runs the command", "IFEX 1==1,EVAL 1=yes", "yes", 0},
      {"false runs ELSE", "IFEX 1==0,EVAL 1=yes\nELSE EVAL 1=no", "no", 0},
      {"true skips ELSE", "IFEX 1==1,EVAL 1=yes\nELSE EVAL 1=no", "yes", 0},
      {"ELSE keeps the flag", "IFEX 0==1,EVAL 1=a\nELSE EVAL 1=%1b\nELSE EVAL 1=%1c", "bc", 0},
      {"no ELSE before any IFEX", "ELSE EVAL 1=x", "", 0},
      {"IFEX keeps the previous result", "EVAL x=9\nIFEX 1==1,EVAL x=4", "", 9},
      {"ELSE keeps the previous result", "EVAL x=9\nIFEX 0==1,EVAL x=1\nELSE EVAL x=4", "", 9},
      {"a blank after the comma makes a path", "EVAL x=3\nIFEX 1==1, EVAL 1=a", "", 3},
      {"an empty IFEX gives 0 and keeps the flag", "EVAL x=9\nIFEX 0==1,EVAL x=1\nIFEX\nELSE EVAL 1=e",
       "e", 0},
  });
}

TEST(FlowControlTest, IfexSections) {
  RunCases({
      {"true runs the section", "IFEX 1==1\r\nEVAL 1=a\r\nIFEX\r\nEVAL 1=%1b", "ab", 0},
      {"false skips to the closing line", "IFEX 0==1\r\nEVAL 1=a\r\nIFEX\r\nEVAL 1=%1b", "b", 0},
      {"closing line ended by LF alone", "IFEX 0==1\nEVAL 1=a\nIFEX\nEVAL 1=%1b", "b", 0},
      {"a lower-case closing line does not close", "IFEX 0==1\nEVAL 1=a\nifex\nEVAL 1=%1b", "", 1},
      {"no closing line ends the run with 1", "IFEX 0==1\nEVAL 1=a\nEVAL 1=b", "", 1},
      {"sections do not nest", "IFEX 0==1\nIFEX 1==1\nEVAL 1=a\nIFEX\nEVAL 1=%1b\nIFEX\nEVAL 1=%1c",
       "bc", 0},
      {"the marker may end another word", "IFEX 0==1\nEVAL 1=a\n;MYIFEX\nEVAL 1=%1b", "b", 0},
      {"trailing blanks hide the closing line", "IFEX 0==1\nEVAL 1=a\nIFEX \nEVAL 1=b", "", 1},
      {"ELSE after a false section", "IFEX 0==1\nEVAL 1=a\nIFEX\nELSE EVAL 1=else", "else", 0},
  });
}

TEST(FlowControlTest, Procedures) {
  RunCases({
      {"CALL returns and the caller goes on",
       "CALL p\nEVAL 1=%1b\nENDP\nPROC p\nEVAL 1=%1a\nENDP p", "ab", 0},
      {"CALL gives the procedure's result", "CALL p\nEVAL 1=%x\nENDP\nPROC p\nEVAL x=7", "7", 0},
      {"CALL of ENDP gives 0", "CALL p\nEVAL 1=%x\nENDP\nPROC p\nEVAL x=7\nENDP p", "0", 0},
      {"the search is case-sensitive", "CALL p\nEVAL 1=%x\nENDP\nproc p\nPROC P\n", "1", 0},
      {"CALL not found result", "CALL nowhere", "", 1},
      {"a PROC before the line is not found", "PROC p\nEVAL 1=a\nENDP p\nCALL p", "", 1},
      {"the name is a prefix", "CALL set\nENDP\nPROC setup\nEVAL 1=s\nENDP setup", "s", 0},
      {"a PROC in a comment counts", "CALL p\nENDP\n; PROC p\nEVAL 1=c\nENDP p", "c", 0},
      {"GOTO ends the run at ENDP", "GOTO p\nEVAL 1=no\nPROC p\nEVAL 1=a\nENDP p\nEVAL 1=%1b", "a", 0},
      {"PROC in the flow is skipped", "EVAL 1=a\nPROC p\nEVAL 1=%1x\nENDP p\nEVAL 1=%1b", "ab", 0},
      {"PROC without ENDP ends the run", "PROC p\nEVAL 1=a", "", 1},
      {"procedures see the caller's base path", "CALL p\nENDP\nPROC p\nEVAL 1=%E", "\\Windows\\Varnisk.exe", 0},
      {"a procedure may call the next", "CALL a\nENDP\nPROC a\nCALL b\nENDP a\nPROC b\nEVAL 1=b\nENDP b",
       "b", 0},
  });
}

}  // namespace
}  // namespace varnisk::engine
