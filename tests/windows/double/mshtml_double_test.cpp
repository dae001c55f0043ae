// The MSHTML double against what the adapter and the parity run rely on: the parser's shapes,
// live collections, interfaces, frames, injected faults and object lifetimes.
#include "mshtml_double.h"

#include "framework/text.h"
#include "framework/unique_any.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tavrin;
using namespace tavrin::test_double;

namespace {

const std::wstring kFrames = std::wstring(TAVRIN_DOUBLE_TESTDATA) + L"\\frames.json";

std::string Utf8(BSTR text) {
  return WideToUtf8({text, SysStringLen(text)});
}
std::string Utf8(const UniqueBstr& text) {
  return Utf8(text.get());
}

// A VT_I4 index, which needs no clearing.
VARIANT Index(long index) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_I4;
  V_I4(&value) = index;
  return value;
}

UniqueBstr Bstr(std::string_view utf8) {
  const std::wstring wide = Utf8ToWide(utf8);
  return UniqueBstr(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
}

template <class I>
ComPtr<I> As(IUnknown* object) {
  ComPtr<I> result;
  object->QueryInterface(__uuidof(I), result.put_void());
  return result;
}

ComPtr<IHTMLElement> Item(IHTMLElementCollection* collection, long index) {
  ComPtr<IDispatch> item;
  EXPECT_EQ(collection->item(Index(index), VARIANT{}, item.put()), S_OK);
  return item ? As<IHTMLElement>(item.get()) : ComPtr<IHTMLElement>();
}

long Length(IHTMLElementCollection* collection) {
  long length = -1;
  EXPECT_EQ(collection->get_length(&length), S_OK);
  return length;
}

ComPtr<IHTMLElementCollection> Tags(IHTMLElementCollection* collection, std::string_view tag) {
  UniqueVariant name;
  VARIANT* value = name.put();
  V_VT(value) = VT_BSTR;
  V_BSTR(value) = Bstr(tag).release();
  ComPtr<IDispatch> tagged;
  EXPECT_EQ(collection->tags(name.get(), tagged.put()), S_OK);
  return tagged ? As<IHTMLElementCollection>(tagged.get()) : ComPtr<IHTMLElementCollection>();
}

std::string InnerHtml(IHTMLElement* element) {
  UniqueBstr html;
  EXPECT_EQ(element->get_innerHTML(html.put()), S_OK);
  return Utf8(html);
}

ComPtr<IHTMLElementCollection> All(IHTMLDocument2* document) {
  ComPtr<IHTMLElementCollection> all;
  EXPECT_EQ(document->get_all(all.put()), S_OK);
  return all;
}

ComPtr<IHTMLElementCollection> Links(IHTMLDocument2* document) {
  ComPtr<IHTMLElementCollection> links;
  EXPECT_EQ(document->get_links(links.put()), S_OK);
  return links;
}

ComPtr<IHTMLElement> Body(IHTMLDocument2* document) {
  ComPtr<IHTMLElement> body;
  EXPECT_EQ(document->get_body(body.put()), S_OK);
  return body;
}

ComPtr<IHTMLElement> First(IHTMLDocument2* document, std::string_view tag) {
  return Item(Tags(All(document).get(), tag).get(), 0);
}

// Each test starts and ends with no object of the double alive.
class MshtmlDouble : public testing::Test {
 protected:
  void SetUp() override {
    ClearFaults();
    ASSERT_EQ(LiveObjectCount(), 0);
  }
  void TearDown() override {
    ClearFaults();
    UseSerialization(dom::Serialization::Html5);
    EXPECT_EQ(LiveObjectCount(), 0);
  }
};

// Expected trees are what the portable model's parser makes of the same markup; under the legacy
// serializer, what Internet Explorer 6 to 8 write and read.
TEST_F(MshtmlDouble, WrittenMarkupTakesTheParsersShape) {
  struct Case {
    const char* context;
    const char* markup;
    const char* expected;
    dom::Serialization serialization = dom::Serialization::Html5;
  };
  const Case cases[] = {
      {"body",
       "<TABLE WIDTH=\"100%\"><TR><TD width=\"0%\" nowrap>・</TD><TD BGCOLOR=\"#FFFFE0\" "
       "nowrap><A HREF=\"http://a/?x=1&amp;y=2\" title=\"AT&amp;T &quot;q&quot; a<b\">x<b>y</b>"
       "<font color=\"red\">z</font><div>d</div><img src=\"http://i/\" alt=\"a\"><br><wbr>"
       "t&nbsp;u&#x41;&#128;</A></TD></TR></TABLE>",
       "<table width=\"100%\"><tbody><tr><td width=\"0%\" nowrap=\"\">・</td><td "
       "bgcolor=\"#FFFFE0\" nowrap=\"\"><a href=\"http://a/?x=1&amp;y=2\" title=\"AT&amp;T "
       "&quot;q&quot; a&lt;b\">x<b>y</b><font color=\"red\">z</font><div>d</div><img "
       "src=\"http://i/\" alt=\"a\"><br><wbr></wbr>t&nbsp;uA€</a></td></tr></tbody></table>"},
      {"a", "http://x/?a=1&amp;b=&lt;&gt;", "http://x/?a=1&amp;b=&lt;&gt;"},
      {"td", "<b>x</b><nobr>n</nobr><IMG src=\"http://x/a b\" align=\"left\" alt=\"a&quot;b<c\">",
       "<b>x</b><nobr>n</nobr><img src=\"http://x/a b\" align=\"left\" alt=\"a&quot;b&lt;c\">"},
      {"div", "a & b &amp c &copy; &copy=1 &not-it &#0; &#x110000;",
       "a &amp; b &amp; c © ©=1 ¬-it \xEF\xBF\xBD \xEF\xBF\xBD"},
      {"div", "<table>text<tr><td>c</table>after",
       "text<table><tbody><tr><td>c</td></tr></tbody></table>after"},
      {"div", "<a href=x><b>1</a>2</b>", "<a href=\"x\"><b>1</b></a><b>2</b>"},
      {"div", "<p>one<p>two<div>three</div><ul><li>x<li>y</ul>",
       "<p>one</p><p>two</p><div>three</div><ul><li>x</li><li>y</li></ul>"},
      {"div", "<script>a<b&amp;</script><noscript><a href=q>n</a></noscript><textarea>a&amp;b",
       "<script>a<b&amp;</script><noscript><a href=q>n</a></noscript><textarea>a&amp;b</textarea>"},
      {"div", "<svg><foreignobject><b>x</b></foreignobject><path/></svg>",
       "<svg><foreignObject><b>x</b></foreignObject><path></path></svg>"},
      {"table", "<tr><td>x</td></tr>", "<tbody><tr><td>x</td></tr></tbody>"},
      {"div", "<svg><img>x</svg><b>y</b><i", "<svg><img>x</img></svg><b>y</b>"},
      {"div", "<!-- c --><?pi x?></b>z</p>\r\nline", "<!-- c --><!--?pi x?-->z<p></p>\nline"},
      {"div", "<div title='sq' data-x=unq class=\"a\" class=\"b\">v</div>",
       "<div title=\"sq\" data-x=\"unq\" class=\"a\">v</div>"},
      {"div",
       "<p title=\"a b\" class=x>t&amp;<img alt=\"``onerror=alert(1)\" src=\"http://i/?a&amp;b\" "
       "width=\"\"></p><font face='x\"y'>f</font><svg><foreignObject/></svg>",
       "\r\n<P title=\"a b\" class=x>t&amp;<IMG alt=``onerror=alert(1) src=http://i/?a&amp;b "
       "width=\"\"></P><FONT face=\"x&quot;y\">f</FONT><svg><foreignObject></foreignObject></svg>",
       dom::Serialization::Ie},
      {"div", "<img alt=``onerror=alert(1)>", "<IMG alt=\"\" onerror=alert(1)>",
       dom::Serialization::Ie},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.markup);
    const ComPtr<IHTMLDocument2> document = ParseDocument(
        "<table><tr><td></td></tr></table><div></div><a href=\"x\"></a>", L"http://h/");
    const ComPtr<IHTMLElement> context = First(document.get(), c.context);
    ASSERT_TRUE(context);
    UseSerialization(c.serialization);
    ASSERT_EQ(context->put_innerHTML(Bstr(c.markup).get()), S_OK);
    EXPECT_EQ(InnerHtml(context.get()), c.expected);
  }
}

TEST_F(MshtmlDouble, OuterHtmlAndRemoveNodeReplaceOrRemoveTheElement) {
  const ComPtr<IHTMLDocument2> document = ParseDocument(
      "<p><a href=\"x\"><font color=red>A&amp;<b>B</b></font><i>I<s>S</s></i></a><span>gone</span>"
      "<u>gone</u>!</p>",
      L"http://h/");
  const ComPtr<IHTMLElement> font = First(document.get(), "font");
  ASSERT_EQ(font->put_outerHTML(Bstr(InnerHtml(font.get())).get()), S_OK);
  ASSERT_EQ(First(document.get(), "span")->put_outerHTML(Bstr("").get()), S_OK);
  // removeNode(false) leaves the children in the node's place, removeNode(true) takes them too.
  auto removeNode = [&](const char* tag, VARIANT_BOOL deep) {
    ComPtr<IHTMLDOMNode> removed;
    const HRESULT hr = As<IHTMLDOMNode>(First(document.get(), tag).get())->removeNode(deep,
                                                                                     removed.put());
    EXPECT_EQ(SUCCEEDED(hr), static_cast<bool>(removed));
    return hr;
  };
  ASSERT_EQ(removeNode("i", VARIANT_FALSE), S_OK);
  ASSERT_EQ(removeNode("u", VARIANT_TRUE), S_OK);
  EXPECT_EQ(InnerHtml(First(document.get(), "p").get()),
            "<a href=\"x\">A&amp;<b>B</b>I<s>S</s></a>!");
  // The html element's parent is the document, which no markup may replace.
  EXPECT_EQ(First(document.get(), "html")->put_outerHTML(Bstr("").get()), E_ACCESSDENIED);
  EXPECT_EQ(removeNode("html", VARIANT_FALSE), E_ACCESSDENIED);

  EXPECT_EQ(SerializeDocument(document.get()),
            "<html><head></head><body><p><a href=\"x\">A&amp;<b>B</b>I<s>S</s></a>!</p></body></html>");
}

TEST_F(MshtmlDouble, WholeDocumentsKeepTheirFrameAndComments) {
  const char* page =
      "<!-- a -->\n<html><head>\n<title>x</title>\n</head>\n<body>b</body></html>\n<!-- z -->";
  EXPECT_EQ(SerializeDocument(ParseDocument(page, L"http://h/").get()),
            "<!-- a --><html><head>\n<title>x</title>\n</head>\n<body>b\n</body></html><!-- z -->");
  const ComPtr<IHTMLDocument2> top = LoadSnapshot(kFrames).top;
  EXPECT_TRUE(SerializeDocument(top.get()).starts_with("<!DOCTYPE html><html><head></head>"));
}

TEST_F(MshtmlDouble, CollectionsFollowTheTreeAfterWrites) {
  const CSnapshot snapshot = LoadSnapshot(kFrames);
  const ComPtr<IHTMLDocument2> nav = snapshot.documents[1];
  const ComPtr<IHTMLElementCollection> links = Links(nav.get());
  ComPtr<IHTMLElementCollection> images;
  ASSERT_EQ(nav->get_images(images.put()), S_OK);
  const ComPtr<IHTMLElementCollection> all = All(nav.get());

  // A and AREA with href; nothing inside the template counts.
  EXPECT_EQ(Length(links.get()), 2);
  EXPECT_EQ(Length(images.get()), 1);
  EXPECT_EQ(Length(Tags(all.get(), "a").get()), 1);
  EXPECT_EQ(Length(Tags(all.get(), "FOREIGNOBJECT").get()), 1);
  EXPECT_EQ(Length(Tags(Tags(all.get(), "A").get(), "img").get()), 0);
  EXPECT_FALSE(Item(links.get(), 2));

  const long before = Length(all.get());
  ASSERT_EQ(Body(nav.get())->put_innerHTML(
                Bstr("<a href=\"http://x/\">x</a><a name=n>no</a><img src=a><img src=b>").get()),
            S_OK);
  EXPECT_EQ(Length(links.get()), 1);
  EXPECT_EQ(Length(images.get()), 2);
  EXPECT_LT(Length(all.get()), before);
  ASSERT_EQ(Item(images.get(), 0)->put_outerHTML(Bstr("").get()), S_OK);
  EXPECT_EQ(Length(images.get()), 1);
}

// The pipeline's passes change the item they read last while walking a collection.
TEST_F(MshtmlDouble, CollectionsStayLiveWhileTheirItemsAreReplaced) {
  const ComPtr<IHTMLDocument2> document = ParseDocument(
      "<div><span>1<span>2</span></span><img src=a><span>3</span><img src=b></div>", L"http://h/");
  const ComPtr<IHTMLElementCollection> spans = Tags(All(document.get()).get(), "SPAN");
  ComPtr<IHTMLElementCollection> images;
  ASSERT_EQ(document->get_images(images.put()), S_OK);
  const ComPtr<IHTMLElement> div = First(document.get(), "div");

  ASSERT_EQ(Length(spans.get()), 3);
  for (long i = 2; i >= 0; --i) {
    ASSERT_EQ(Item(spans.get(), i)->put_outerHTML(Bstr("").get()), S_OK);
  }
  EXPECT_EQ(InnerHtml(div.get()), "<img src=\"a\"><img src=\"b\">");
  EXPECT_EQ(Length(spans.get()), 0);

  const long count = Length(images.get());
  for (long i = 0; i < count; ++i) {
    const std::string markup = "<img src=\"x" + std::to_string(i) + "\"><span></span>";
    ASSERT_EQ(Item(images.get(), i)->put_outerHTML(Bstr(markup).get()), S_OK);
  }
  EXPECT_EQ(InnerHtml(div.get()), "<img src=\"x0\"><span></span><img src=\"x1\"><span></span>");

  // A change to an item other than the one read last: the collection starts over.
  ASSERT_TRUE(Item(images.get(), 0));
  ASSERT_EQ(Item(Tags(All(document.get()).get(), "img").get(), 1)->put_outerHTML(Bstr("").get()),
            S_OK);
  EXPECT_EQ(Length(images.get()), 1);
  EXPECT_EQ(Length(spans.get()), 2);
}

TEST_F(MshtmlDouble, AddressesAreResolvedUntilWritten) {
  const ComPtr<IHTMLDocument2> nav = LoadSnapshot(kFrames).documents[1];
  const ComPtr<IHTMLAnchorElement> anchor =
      As<IHTMLAnchorElement>(Item(Links(nav.get()).get(), 0).get());
  UniqueBstr href;
  ASSERT_EQ(anchor->get_href(href.put()), S_OK);
  EXPECT_EQ(Utf8(href), "http://h/one.html");
  ASSERT_EQ(anchor->put_href(Bstr("two.html").get()), S_OK);
  ASSERT_EQ(anchor->get_href(href.put()), S_OK);
  EXPECT_EQ(Utf8(href), "two.html");

  const ComPtr<IHTMLImgElement> image = As<IHTMLImgElement>(First(nav.get(), "img").get());
  UniqueBstr src;
  UniqueBstr alt;
  ASSERT_EQ(image->get_src(src.put()), S_OK);
  ASSERT_EQ(image->get_alt(alt.put()), S_OK);
  EXPECT_EQ(Utf8(src), "http://h/i.png");
  EXPECT_EQ(Utf8(alt), "I");
}

// Which interfaces each kind of node answers, as MSHTML's objects do.
TEST_F(MshtmlDouble, NodesAnswerTheInterfacesOfTheirKind) {
  const ComPtr<IHTMLDocument2> nav = LoadSnapshot(kFrames).documents[1];
  ComPtr<IDispatch> children;
  ASSERT_EQ(As<IHTMLDOMNode>(Body(nav.get()).get())->get_childNodes(children.put()), S_OK);
  const ComPtr<IHTMLDOMChildrenCollection> bodyChildren =
      As<IHTMLDOMChildrenCollection>(children.get());
  auto child = [&](IHTMLDOMChildrenCollection* collection, long index) {
    ComPtr<IDispatch> node;
    EXPECT_EQ(collection->item(index, node.put()), S_OK);
    return node;
  };
  const ComPtr<IDispatch> anchor = child(bodyChildren.get(), 0);
  ASSERT_EQ(As<IHTMLDOMNode>(anchor.get())->get_childNodes(children.put()), S_OK);
  const ComPtr<IDispatch> font = child(As<IHTMLDOMChildrenCollection>(children.get()).get(), 0);
  ASSERT_EQ(As<IHTMLDOMNode>(font.get())->get_childNodes(children.put()), S_OK);
  const ComPtr<IDispatch> text = child(As<IHTMLDOMChildrenCollection>(children.get()).get(), 0);
  const ComPtr<IDispatch> map = child(bodyChildren.get(), 2);
  ASSERT_EQ(As<IHTMLDOMNode>(map.get())->get_childNodes(children.put()), S_OK);

  struct Case {
    const char* what;
    ComPtr<IDispatch> node;
    long nodeType;
    bool element, anchor, image, font, text;
  };
  const Case cases[] = {
      {"a", anchor, 1, true, true, false, false, false},
      {"font", font, 1, true, false, false, true, false},
      {"text", text, 3, false, false, false, false, true},
      {"comment", child(bodyChildren.get(), 1), 8, true, false, false, false, false},
      {"area", child(As<IHTMLDOMChildrenCollection>(children.get()).get(), 0), 1, true, false,
       false, false, false},
      {"img", child(bodyChildren.get(), 3), 1, true, false, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    long nodeType = 0;
    ASSERT_EQ(As<IHTMLDOMNode>(c.node.get())->get_nodeType(&nodeType), S_OK);
    EXPECT_EQ(nodeType, c.nodeType);
    EXPECT_EQ(static_cast<bool>(As<IHTMLElement>(c.node.get())), c.element);
    EXPECT_EQ(static_cast<bool>(As<IHTMLAnchorElement>(c.node.get())), c.anchor);
    EXPECT_EQ(static_cast<bool>(As<IHTMLImgElement>(c.node.get())), c.image);
    EXPECT_EQ(static_cast<bool>(As<IHTMLFontElement>(c.node.get())), c.font);
    EXPECT_EQ(static_cast<bool>(As<IHTMLDOMTextNode>(c.node.get())), c.text);
  }
  UniqueBstr data;
  ASSERT_EQ(As<IHTMLDOMTextNode>(text.get())->get_data(data.put()), S_OK);
  EXPECT_EQ(Utf8(data), "One & <only>");

  // One node, one identity, however it was reached.
  EXPECT_EQ(As<IUnknown>(anchor.get()).get(),
            As<IUnknown>(Item(Links(nav.get()).get(), 0).get()).get());
}

TEST_F(MshtmlDouble, AttributeCollectionsListUnspecifiedAttributesToo) {
  const ComPtr<IHTMLDocument2> nav = LoadSnapshot(kFrames).documents[1];
  ComPtr<IDispatch> collection;
  ASSERT_EQ(As<IHTMLDOMNode>(First(nav.get(), "img").get())->get_attributes(collection.put()),
            S_OK);
  const ComPtr<IHTMLAttributeCollection> attributes =
      As<IHTMLAttributeCollection>(collection.get());
  long count = 0;
  ASSERT_EQ(attributes->get_length(&count), S_OK);
  std::vector<std::string> specified;
  std::vector<std::string> unspecified;
  for (long i = 0; i < count; ++i) {
    VARIANT index = Index(i);
    ComPtr<IDispatch> item;
    ASSERT_EQ(attributes->item(&index, item.put()), S_OK);
    const ComPtr<IHTMLDOMAttribute> attribute = As<IHTMLDOMAttribute>(item.get());
    UniqueBstr name;
    UniqueVariant value;
    VARIANT_BOOL isSpecified = VARIANT_FALSE;
    ASSERT_EQ(attribute->get_nodeName(name.put()), S_OK);
    ASSERT_EQ(attribute->get_nodeValue(value.put()), S_OK);
    ASSERT_EQ(attribute->get_specified(&isSpecified), S_OK);
    (isSpecified ? specified : unspecified)
        .push_back(Utf8(name) + "=" + Utf8(V_BSTR(&value.get())));
  }
  EXPECT_EQ(specified, (std::vector<std::string>{"src=i.png", "alt=I"}));
  EXPECT_NE(std::find(unspecified.begin(), unspecified.end(), "width="), unspecified.end());
}

TEST_F(MshtmlDouble, WindowsShowTheSnapshotsFrames) {
  const CSnapshot snapshot = LoadSnapshot(kFrames);
  ComPtr<IHTMLWindow2> window;
  ASSERT_EQ(snapshot.top->get_parentWindow(window.put()), S_OK);
  ComPtr<IHTMLFramesCollection2> frames;
  ASSERT_EQ(window->get_frames(frames.put()), S_OK);
  long count = 0;
  ASSERT_EQ(frames->get_length(&count), S_OK);
  ASSERT_EQ(count, 2);

  auto frame = [&](long index) {
    VARIANT position = Index(index);
    UniqueVariant item;
    EXPECT_EQ(frames->item(&position, item.put()), S_OK);
    EXPECT_EQ(V_VT(&item.get()), VT_DISPATCH);
    return As<IHTMLWindow2>(V_DISPATCH(&item.get()));
  };
  ComPtr<IHTMLDocument2> shown;
  ASSERT_EQ(frame(0)->get_document(shown.put()), S_OK);
  EXPECT_EQ(As<IUnknown>(shown.get()).get(), As<IUnknown>(snapshot.documents[1].get()).get());
  EXPECT_EQ(frame(1)->get_document(shown.put()), E_ACCESSDENIED);
  EXPECT_FALSE(shown);

  ComPtr<IHTMLWindow2> navWindow;
  ASSERT_EQ(snapshot.documents[1]->get_parentWindow(navWindow.put()), S_OK);
  ASSERT_EQ(navWindow->scrollTo(-2000, -2000), S_OK);
  EXPECT_EQ(ScrollsOf(snapshot.documents[1].get()),
            (std::vector<std::pair<long, long>>{{-2000, -2000}}));
}

TEST_F(MshtmlDouble, InjectedFaultsFireWhereAndAsOftenAsAsked) {
  const CSnapshot snapshot = LoadSnapshot(kFrames);
  IHTMLDocument2* nav = snapshot.documents[1].get();
  const ComPtr<IHTMLElementCollection> links = Links(nav);
  auto linksCall = [&] {
    ComPtr<IHTMLElementCollection> result;
    const HRESULT hr = nav->get_links(result.put());
    return SUCCEEDED(hr) && !result ? S_FALSE : hr;  // S_FALSE marks "S_OK with null"
  };
  auto itemCall = [&](long index) {
    return [&, index] {
      ComPtr<IDispatch> item;
      const HRESULT hr = links->item(Index(index), VARIANT{}, item.put());
      return SUCCEEDED(hr) && !item ? S_FALSE : hr;
    };
  };
  // A faulted write leaves the tree as it was.
  const ComPtr<IHTMLElement> body = Body(nav);
  const std::string bodyBefore = InnerHtml(body.get());
  auto bodyWrite = [&] {
    const HRESULT hr = body->put_innerHTML(Bstr("<b>new</b>").get());
    return FAILED(hr) && InnerHtml(body.get()) != bodyBefore ? E_UNEXPECTED : hr;
  };
  ComPtr<IHTMLWindow2> window;
  EXPECT_EQ(nav->get_parentWindow(window.put()), S_OK);
  auto frameOfTop = [&] {
    ComPtr<IHTMLWindow2> top;
    EXPECT_EQ(snapshot.top->get_parentWindow(top.put()), S_OK);
    VARIANT position = Index(0);
    UniqueVariant frame;
    const HRESULT hr = top->item(&position, frame.put());
    return SUCCEEDED(hr) && V_VT(&frame.get()) != VT_DISPATCH ? S_FALSE : hr;
  };
  auto anchorQuery = [&](long index) {
    return [&, index] {
      ComPtr<IHTMLAnchorElement> anchor;
      const ComPtr<IHTMLElement> link = Item(links.get(), index);
      const HRESULT hr = link->QueryInterface(__uuidof(IHTMLAnchorElement), anchor.put_void());
      return SUCCEEDED(hr) && !anchor ? S_FALSE : hr;
    };
  };
  struct Case {
    const char* what;
    CFault fault;
    std::function<HRESULT()> call;
    std::vector<HRESULT> results;  // of successive calls
  };
  // call, result, documentUrl, tag, index, times
  const Case cases[] = {
      {"getter",
       {L"IHTMLDocument2::get_links", E_FAIL, L"", L"", -1, -1},
       linksCall,
       {E_FAIL, E_FAIL}},
      {"null result", {L"IHTMLDocument2::get_links", S_OK, L"", L"", -1, -1}, linksCall, {S_FALSE}},
      {"once",
       {L"IHTMLDocument2::get_links", E_ACCESSDENIED, L"", L"", -1, 1},
       linksCall,
       {E_ACCESSDENIED, S_OK}},
      {"other document",
       {L"IHTMLDocument2::get_links", E_FAIL, L"http://h/index.html", L"", -1, -1},
       linksCall,
       {S_OK}},
      {"this document",
       {L"IHTMLDocument2::get_links", E_FAIL, L"http://h/nav.html", L"", -1, -1},
       linksCall,
       {E_FAIL}},
      {"item at its index",
       {L"IHTMLElementCollection::item", E_FAIL, L"", L"", 1, -1},
       itemCall(1),
       {E_FAIL}},
      {"item at another index",
       {L"IHTMLElementCollection::item", E_FAIL, L"", L"", 1, -1},
       itemCall(0),
       {S_OK}},
      {"query of the n-th A",
       {L"QueryInterface:IHTMLAnchorElement", E_NOINTERFACE, L"", L"A", 0, -1},
       anchorQuery(0),
       {E_NOINTERFACE}},
      {"query of another tag",
       {L"QueryInterface:IHTMLAnchorElement", E_NOINTERFACE, L"", L"IMG", -1, -1},
       anchorQuery(0),
       {S_OK}},
      {"write",
       {L"IHTMLElement::put_innerHTML", E_FAIL, L"", L"BODY", -1, 1},
       bodyWrite,
       {E_FAIL, S_OK}},
      {"frame item without a window",
       {L"IHTMLFramesCollection2::item", S_OK, L"", L"", 0, -1},
       frameOfTop,
       {S_FALSE}},
      {"scroll",
       {L"IHTMLWindow2::scrollTo", E_ACCESSDENIED, L"", L"", -1, -1},
       [&] { return window->scrollTo(0, 0); },
       {E_ACCESSDENIED}},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InjectFault(c.fault);
    for (const HRESULT expected : c.results) EXPECT_EQ(c.call(), expected);
    ClearFaults();
  }
}

TEST_F(MshtmlDouble, EveryObjectGoesWithItsLastReference) {
  ComPtr<IHTMLElement> kept;
  {
    const CSnapshot snapshot = LoadSnapshot(kFrames);
    kept = Item(Links(snapshot.documents[1].get()).get(), 0);
    EXPECT_GT(LiveObjectCount(), 3);
  }
  // A node outlives its document's objects and still reads its tree.
  EXPECT_EQ(LiveObjectCount(), 1);
  EXPECT_EQ(InnerHtml(kept.get()), "<font color=\"red\">One &amp; &lt;only&gt;</font>");
}

TEST_F(MshtmlDouble, BrokenSnapshotsAreRefused) {
  for (const char* text :
       {"{", "{\"top\":0,\"documents\":[]}",
        "{\"top\":0,\"documents\":[{\"url\":\"u\",\"frames\":[3],"
        "\"root\":{\"type\":\"document\"}}]}",
        "{\"top\":0,\"documents\":[{\"url\":\"u\",\"root\":{\"type\":\"x\"}}]}"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(ParseSnapshot(text), std::runtime_error);
  }
  EXPECT_THROW(LoadSnapshot(kFrames + L".missing"), std::runtime_error);
}

}  // namespace
