#include "zenuModule/src/ProgramException.h"

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>

#include "zenuModule/src/OperationWrapper.h"

namespace {

void Innermost() {
  OP_BEGIN("CInner::Raise")
  RAISE_ERROR("bad value %d in %s", 42, "config");
  OP_END
}

void Middle() {
  OP_BEGIN("CMiddle::Call")
  Innermost();
  OP_END
}

void Outer() {
  OP_BEGIN("Outer")
  Middle();
  OP_END
}

class CFrameworkError final : public CException {
 public:
  BOOL GetErrorMessage(char* buffer, unsigned size, unsigned*) const override {
    std::snprintf(buffer, size, "disk full");
    return TRUE;
  }
};

template <class Body>
CProgramException* Catch(Body body) {
  try {
    body();
  } catch (CProgramException* e) {
    return e;
  }
  return nullptr;
}

int CountOf(const CString& text, const CString& part) {
  int n = 0;
  for (auto pos = text.find(part); pos != CString::npos; pos = text.find(part, pos + 1)) ++n;
  return n;
}

}  // namespace

TEST(ProgramException, RaisedErrorCarriesReportAndOneCallStackLinePerOperation) {
  CProgramException* e = Catch([] { Outer(); });
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->GetErrorType(), 0);
  EXPECT_EQ(e->GetError(), "bad value 42 in config");
  const CString& text = e->GetErrInfo();
  const std::regex report(
      "\n==========\nTime: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\n"
      "File: ProgramException_test\\.cpp\nFunc: CInner::Raise\nLine: \\d+\n"
      "Error: bad value 42 in config\nError Type: CProgramException"
      "\nCallStack: ProgramException_test\\.cpp, CInner::Raise"
      "\nCallStack: ProgramException_test\\.cpp, CMiddle::Call"
      "\nCallStack: ProgramException_test\\.cpp, Outer");
  EXPECT_TRUE(std::regex_match(text, report)) << text;
  EXPECT_EQ(CountOf(text, "CallStack: "), 3);
  e->Delete();
}

TEST(ProgramException, ForeignExceptionsAreConverted) {
  CProgramException* e = Catch([] {
    OP_BEGIN("CConvert::Std")
    throw std::runtime_error("vector too long");
    OP_END
  });
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->GetErrorType(), 1);
  EXPECT_NE(e->GetErrInfo().find("Error: vector too long\nError Type: CException\nCallStack: "),
            CString::npos);
  e->Delete();

  e = Catch([] {
    OP_BEGIN("CConvert::Framework")
    throw new CFrameworkError;
    OP_END
  });
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->GetErrorType(), 1);
  EXPECT_EQ(e->GetError(), "disk full");
  e->Delete();

  e = Catch([] {
    OP_BEGIN("CConvert::Int")
    throw 7;
    OP_END
  });
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->GetErrorType(), 2);
  EXPECT_NE(e->GetErrInfo().find("Func: CConvert::Int\n"), CString::npos);
  EXPECT_NE(e->GetErrInfo().find("Error: Pure C++ error\nError Type: C++\nCallStack: "
                                 "ProgramException_test.cpp, CConvert::Int"),
            CString::npos);
  e->Delete();
}

TEST(ProgramException, SetErrorReplacesTextAndStripPathAndBufferCopy) {
  CProgramException e;
  e.SetFileName("/src/deep/folder/Thing.cpp");
  e.SetFunction("CThing::Do");
  e.SetLine(12);
  e.SetError("first");
  e.CallStack("/a/b/Other.cpp", "COther::Go");
  EXPECT_NE(e.GetErrInfo().find("CallStack: Other.cpp, COther::Go"), CString::npos);
  e.SetError("second");
  EXPECT_EQ(e.GetErrInfo().find("first"), CString::npos);
  EXPECT_EQ(e.GetErrInfo().find("CallStack"), CString::npos);
  EXPECT_NE(e.GetErrInfo().find("File: Thing.cpp\nFunc: CThing::Do\nLine: 12\nError: second\n"),
            CString::npos);
  EXPECT_EQ(CProgramException::StripPath("NoFolder.cpp"), "NoFolder.cpp");

  char small[8];
  EXPECT_TRUE(e.GetErrorMessage(small, sizeof small));
  EXPECT_EQ(CString(small), e.GetErrInfo().substr(0, 7));

  CString huge(6000, 'x');
  CProgramException* raised = Catch([&] {
    OP_BEGIN("CHuge::Raise")
    RAISE_ERROR("%s", huge.c_str());
    OP_END
  });
  ASSERT_NE(raised, nullptr);
  EXPECT_EQ(raised->GetError().size(), 4999u);
  raised->Delete();
}
