// The progress bar is drawn on a terminal only, and messages never land inside it.

#include <gtest/gtest.h>

#include <sstream>

#include "ctl/terminal.h"

namespace zelto::ctl {
namespace {

TEST(CtlTerminal, BarOnATerminalOnlyAndMessagesOnTheirOwnLine) {
  std::ostringstream out, err;
  {
    Terminal term(out, err, true, Language::English);
    term.StartBar(8);
    term.SetBar(4);
    term.Message("unable to connect");
    term.SetBar(20);  // beyond the range: full, not past it
  }
  const std::string e = err.str();
  EXPECT_NE(e.find("[###############---------------] 50% (4/8)"), std::string::npos) << e;
  // The bar line is erased before the message and drawn again after it.
  EXPECT_NE(e.find("(4/8)\r\x1b[Kunable to connect\n\r\x1b[K["), std::string::npos) << e;
  EXPECT_NE(e.find("100% (8/8)"), std::string::npos) << e;
  // Nothing of the bar is left on the screen at the end.
  EXPECT_TRUE(e.ends_with("\r\x1b[K")) << e;
  EXPECT_TRUE(out.str().empty());

  std::ostringstream plainOut, plainErr;
  {
    Terminal plain(plainOut, plainErr, false, Language::English);
    plain.StartBar(8);
    plain.SetBar(4);
    plain.Message("unable to connect");
  }
  EXPECT_EQ(plainErr.str(), "unable to connect\n");
}

}  // namespace
}  // namespace zelto::ctl
