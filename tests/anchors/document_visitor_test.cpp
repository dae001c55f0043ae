#include "anchors/document_visitor.h"

#include <gtest/gtest.h>

#include "fake_dom.h"

namespace tavrin {
namespace {

class CRecordingVisitor : public CDocumentVisitor {
 public:
  void Begin() override { m_arrVisits.push_back("begin"); }
  int VisitDocument(dom::IDocument& document, int context) override {
    m_arrVisits.push_back(document.Url() + "#" + std::to_string(context));
    return 1;
  }
  std::vector<std::string> m_arrVisits;
};

dom::WindowPtr FrameWith(dom::DocumentPtr document) {
  auto frame = std::make_shared<fake::Window>();
  frame->document = std::move(document);
  return frame;
}

TEST(DocumentVisitor, WalksTheDocumentThenItsWindow) {
  auto page = fake::MakeDocument("http://e.com/");
  CRecordingVisitor visitor;
  EXPECT_EQ(visitor.Walk(*page, 7), 1);  // without frames: visited itself, then as the window's
  EXPECT_EQ(visitor.m_arrVisits,
            (std::vector<std::string>{"begin", "http://e.com/#7", "http://e.com/#7"}));

  page->failOn = {"ParentWindow"};  // a failing parentWindow is an absence
  EXPECT_EQ(GetDocumentWindow(*page), nullptr);
  visitor.m_arrVisits.clear();
  EXPECT_EQ(visitor.Walk(*page, 0), 0);
  EXPECT_EQ(visitor.m_arrVisits, (std::vector<std::string>{"begin", "http://e.com/#0"}));
}

TEST(DocumentVisitor, FramesetVisitsReachableDirectFramesOnly) {
  auto top = fake::MakeDocument("http://e.com/top");
  auto b = fake::MakeDocument("http://e.com/b");
  std::static_pointer_cast<fake::Window>(b->window)->frames = {
      FrameWith(fake::MakeDocument("http://e.com/inner"))};
  auto topWindow = std::static_pointer_cast<fake::Window>(top->window);
  topWindow->frames = {FrameWith(fake::MakeDocument("http://e.com/a")), nullptr,
                       FrameWith(nullptr) /* refused: another domain */, FrameWith(b)};
  CRecordingVisitor visitor;
  EXPECT_EQ(visitor.Walk(*top, 0), 1);
  EXPECT_EQ(visitor.m_arrVisits,
            (std::vector<std::string>{"begin", "http://e.com/top#0", "http://e.com/a#0",
                                      "http://e.com/b#0"}));

  visitor.m_arrVisits.clear();
  EXPECT_EQ(visitor.WalkFrames(nullptr, 0), 0);
  EXPECT_EQ(visitor.WalkFrames(std::make_shared<fake::Window>(), 0), 0);  // no frames, no document
  topWindow->frames = {nullptr};
  EXPECT_EQ(visitor.WalkFrames(topWindow, 0), 1);  // a frameset whose frames all fail
  EXPECT_TRUE(visitor.m_arrVisits.empty());

  topWindow->failOn = {"FrameCount"};  // model failures are not the walk's to catch
  EXPECT_THROW(visitor.Walk(*top, 0), dom::DomError);
}

}  // namespace
}  // namespace tavrin
