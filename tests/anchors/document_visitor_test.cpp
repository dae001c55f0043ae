#include "anchors/document_visitor.h"

#include <gtest/gtest.h>

#include "fake_dom.h"

namespace tavrin {
namespace {

class CRecordingVisitor : public CDocumentVisitor {
 public:
  void Begin() override { ++m_nBegins; }
  int VisitDocument(dom::IDocument& document, int context) override {
    m_arrVisits.push_back(document.Url() + "#" + std::to_string(context));
    return 1;
  }
  int m_nBegins = 0;
  std::vector<std::string> m_arrVisits;
};

std::shared_ptr<fake::Window> FramesetWindow(std::shared_ptr<fake::Document> top,
                                             std::vector<dom::WindowPtr> frames) {
  auto window = std::make_shared<fake::Window>();
  window->ownDocument = top;
  window->frames = std::move(frames);
  top->window = window;
  return window;
}

dom::WindowPtr FrameWith(dom::DocumentPtr document) {
  auto frame = std::make_shared<fake::Window>();
  frame->document = std::move(document);
  return frame;
}

TEST(DocumentVisitor, DocumentWithoutFramesIsVisitedTwice) {
  auto document = fake::MakeDocument("http://e.com/");
  CRecordingVisitor visitor;
  EXPECT_EQ(visitor.Walk(*document, 7), 1);
  EXPECT_EQ(visitor.m_nBegins, 1);
  EXPECT_EQ(visitor.m_arrVisits, (std::vector<std::string>{"http://e.com/#7", "http://e.com/#7"}));
}

TEST(DocumentVisitor, FramesetVisitsDirectFramesOnlyAndSkipsUnreachableOnes) {
  auto top = fake::MakeDocument("http://e.com/top");
  auto inner = fake::MakeDocument("http://e.com/inner");  // a frame inside frame b: not entered
  auto frameB = fake::MakeDocument("http://e.com/b");
  FramesetWindow(frameB, {FrameWith(inner)});
  FramesetWindow(top, {FrameWith(fake::MakeDocument("http://e.com/a")), nullptr,
                       FrameWith(nullptr) /* refused: another domain */, FrameWith(frameB)});

  CRecordingVisitor visitor;
  EXPECT_EQ(visitor.Walk(*top, 0), 1);
  EXPECT_EQ(visitor.m_arrVisits, (std::vector<std::string>{"http://e.com/top#0", "http://e.com/a#0",
                                                           "http://e.com/b#0"}));
}

TEST(DocumentVisitor, WindowlessDocumentIsVisitedOnce) {
  auto document = fake::MakeDocument("http://e.com/");
  CRecordingVisitor visitor;

  document->window = nullptr;
  EXPECT_EQ(visitor.Walk(*document, 0), 0);
  EXPECT_EQ(visitor.m_arrVisits.size(), 1u);

  // A failing parentWindow is an absence too.
  document->failOn = {"ParentWindow"};
  EXPECT_EQ(GetDocumentWindow(*document), nullptr);
  visitor.m_arrVisits.clear();
  EXPECT_EQ(visitor.Walk(*document, 0), 0);
  EXPECT_EQ(visitor.m_arrVisits.size(), 1u);
  EXPECT_EQ(visitor.m_nBegins, 2);
}

TEST(DocumentVisitor, WalkFramesResults) {
  CRecordingVisitor visitor;
  EXPECT_EQ(visitor.WalkFrames(nullptr, 0), 0);
  EXPECT_EQ(visitor.WalkFrames(std::make_shared<fake::Window>(), 0), 0);  // no frames, no document

  // Frames that all fail still count as a frameset.
  auto window = std::make_shared<fake::Window>();
  window->frames = {nullptr, FrameWith(nullptr)};
  EXPECT_EQ(visitor.WalkFrames(window, 0), 1);
  EXPECT_TRUE(visitor.m_arrVisits.empty());
}

TEST(DocumentVisitor, ModelFailureWhileWalkingFramesPropagates) {
  auto top = fake::MakeDocument("http://e.com/");
  CRecordingVisitor visitor;
  std::static_pointer_cast<fake::Window>(top->window)->failOn = {"FrameCount"};
  EXPECT_THROW(visitor.Walk(*top, 0), dom::DomError);

  auto frame = std::make_shared<fake::Window>();
  frame->failOn = {"Document"};
  FramesetWindow(top, {frame});
  EXPECT_THROW(visitor.Walk(*top, 0), dom::DomError);
}

}  // namespace
}  // namespace tavrin
