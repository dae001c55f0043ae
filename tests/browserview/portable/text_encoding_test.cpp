#include "browserview/portable/text_encoding.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

namespace tavrin::text {
namespace {

using namespace std::string_literals;

struct LabelRow {
  std::string_view label;
  std::string_view name;
};

// One label (or more, where aliases are easily confused) of each of the standard's 40
// encodings, written down from the standard's table, not taken from the code's.
constexpr LabelRow kLabelSample[] = {
    {"unicode11utf8", "UTF-8"},
    {"866", "IBM866"},
    {"l2", "ISO-8859-2"},
    {"iso-ir-109", "ISO-8859-3"},
    {"latin4", "ISO-8859-4"},
    {"cyrillic", "ISO-8859-5"},
    {"arabic", "ISO-8859-6"},
    {"greek8", "ISO-8859-7"},
    {"visual", "ISO-8859-8"},
    {"csiso88598i", "ISO-8859-8-I"},
    {"latin6", "ISO-8859-10"},
    {"iso8859-13", "ISO-8859-13"},
    {"iso885914", "ISO-8859-14"},
    {"l9", "ISO-8859-15"},
    {"iso-8859-16", "ISO-8859-16"},
    {"koi", "KOI8-R"},
    {"koi8-ru", "KOI8-U"},
    {"csmacintosh", "macintosh"},
    {"tis-620", "windows-874"},
    {"iso-8859-11", "windows-874"},
    {"x-cp1250", "windows-1250"},
    {"cp1251", "windows-1251"},
    {"ansi_x3.4-1968", "windows-1252"},
    {"cp819", "windows-1252"},
    {"cp1253", "windows-1253"},
    {"iso-8859-9", "windows-1254"},
    {"x-cp1255", "windows-1255"},
    {"cp1256", "windows-1256"},
    {"x-cp1257", "windows-1257"},
    {"cp1258", "windows-1258"},
    {"x-mac-ukrainian", "x-mac-cyrillic"},
    {"gb2312", "GBK"},
    {"x-gbk", "GBK"},
    {"gb18030", "gb18030"},
    {"big5-hkscs", "Big5"},
    {"x-euc-jp", "EUC-JP"},
    {"csiso2022jp", "ISO-2022-JP"},
    {"windows-31j", "Shift_JIS"},
    {"ks_c_5601-1987", "EUC-KR"},
    {"hz-gb-2312", "replacement"},
    {"unicodefffe", "UTF-16BE"},
    {"ucs-2", "UTF-16LE"},
    {"x-user-defined", "x-user-defined"},
};

std::set<std::string_view> AllEncodingNames() {
  std::set<std::string_view> names;
  for (const LabelRow& row : kLabelSample) names.insert(row.name);
  return names;
}

// "日本語のページ" in Shift_JIS (code page 932).
const std::string kSjisPage = "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x79\x81\x5B\x83\x57";
constexpr std::string_view kUtf8Page = "日本語のページ";
const std::string kSjisNihon = "\x93\xFA\x96\x7B";  // 日本

std::string Decoded(std::string_view bytes, std::string_view transport = {},
                    std::string_view overrideLabel = {}) {
  const auto result = DecodeHtml(bytes, transport, overrideLabel);
  return result ? result->utf8 : "<none>";
}

std::string EncodingOf(std::string_view bytes, std::string_view transport = {},
                       std::string_view overrideLabel = {}) {
  const auto result = DecodeHtml(bytes, transport, overrideLabel);
  return result ? result->encoding : "<none>";
}

// --- Labels ---

TEST(EncodingLabels, MapsAliasesToCanonicalNames) {
  for (const char* label : {"sjis", "ms_kanji", "x-sjis", "windows-31j", "shift_jis", "ms932"}) {
    EXPECT_EQ(EncodingForLabel(label), "Shift_JIS") << label;
  }
  for (const char* label : {"latin1", "ascii", "iso-8859-1", "us-ascii", "cp1252"}) {
    EXPECT_EQ(EncodingForLabel(label), "windows-1252") << label;
  }
  for (const char* label : {"utf8", "unicode-1-1-utf-8", "utf-8"}) {
    EXPECT_EQ(EncodingForLabel(label), "UTF-8") << label;
  }
  EXPECT_EQ(EncodingForLabel("utf-16"), "UTF-16LE");
  EXPECT_EQ(EncodingForLabel("iso-2022-kr"), "replacement");
  EXPECT_EQ(EncodingForLabel("x-user-defined"), "x-user-defined");
  EXPECT_EQ(EncodingForLabel("latin5"), "windows-1254");
  EXPECT_EQ(EncodingForLabel("windows-949"), "EUC-KR");
}

TEST(EncodingLabels, IgnoresAsciiCaseAndSurroundingWhitespace) {
  EXPECT_EQ(EncodingForLabel("SJIS"), "Shift_JIS");
  EXPECT_EQ(EncodingForLabel("Windows-31J"), "Shift_JIS");
  EXPECT_EQ(EncodingForLabel(" \t\n\f\rUTF-8 \r\n"), "UTF-8");
  EXPECT_EQ(EncodingForLabel("  Latin1  "), "windows-1252");
}

TEST(EncodingLabels, RejectsUnknownLabels) {
  for (const char* label : {"", "   ", "utf-9", "sjis2", "utf 8", "shift_jis;", "\vutf-8",
                            "\xC2\xA0utf-8", "x-sjis-x", "utf-8\"", "unicode-1-1"}) {
    EXPECT_EQ(EncodingForLabel(label), std::nullopt) << label;
  }
}

TEST(EncodingLabels, EveryEncodingOfTheStandardHasItsName) {
  for (const LabelRow& row : kLabelSample) {
    EXPECT_EQ(EncodingForLabel(row.label), std::string(row.name)) << row.label;
  }
  EXPECT_EQ(AllEncodingNames().size(), 40u);
  for (std::string_view name : AllEncodingNames()) {
    EXPECT_EQ(EncodingForLabel(name), std::string(name)) << "a name is its own label: " << name;
  }
}

// --- Converters ---

// Every encoding opens its iconv converter and handles ASCII markup both ways.
TEST(EncodingConverters, EveryEncodingConvertsAscii) {
  const std::string markup = "<p class=\"x\">Az 09 &amp;</p>";
  for (std::string_view name : AllEncodingNames()) {
    SCOPED_TRACE(std::string(name));
    std::optional<DecodedHtml> decoded;
    ASSERT_NO_THROW(decoded = DecodeHtml(markup, {}, name));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->encoding, name);
    std::string encoded;
    ASSERT_NO_THROW(encoded = EncodeFromUtf8(markup, name));
    EXPECT_EQ(encoded, markup);
    if (name == "UTF-16LE" || name == "UTF-16BE") continue;
    if (name == "replacement") {
      EXPECT_EQ(decoded->utf8, "\uFFFD");
      continue;
    }
    EXPECT_EQ(decoded->utf8, markup);
  }
}

struct Sample {
  const char* encoding;
  std::string utf8;
  std::string bytes;
};

// Each converter is the one we mean: bytes a browser reads as the text, and writes back.
TEST(EncodingConverters, DecodeAndEncodeEachFamily) {
  const Sample samples[] = {
      {"Shift_JIS", "日本語のページ", kSjisPage},
      {"Shift_JIS", "①～", "\x87\x40\x81\x60"},  // code-page-932 extensions
      {"Shift_JIS", "\u0080", "\x80"},
      {"EUC-JP", "日本", "\xC6\xFC\xCB\xDC"},
      {"EUC-JP", "①～－∥", "\xAD\xA1\xA1\xC1\xA1\xDD\xA1\xC2"},  // as code page 932 maps them
      {"EUC-JP", "ｱ", "\x8E\xB1"},
      {"ISO-2022-JP", "a日本b", "a\x1B$BF|K\\\x1B(Bb"},
      {"GBK", "中文€", "\xD6\xD0\xCE\xC4\x80"},
      {"gb18030", "中€", "\xD6\xD0\xA2\xE3"},
      {"Big5", "中文", "\xA4\xA4\xA4\xE5"},
      {"EUC-KR", "한국", "\xC7\xD1\xB1\xB9"},
      {"windows-1251", "Привет", "\xCF\xF0\xE8\xE2\xE5\xF2"},
      {"KOI8-R", "Привет", "\xF0\xD2\xC9\xD7\xC5\xD4"},
      {"windows-1252", "café €", "caf\xE9 \x80"},
      {"windows-1252", "\u0081\u008D", "\x81\x8D"},  // bytes code page 1252 leaves undefined
      {"windows-1258", "phê", "ph\xEA"},             // iconv holds ê back for a combining mark
      {"ISO-8859-7", "αβ", "\xE1\xE2"},
      {"IBM866", "Да", "\x84\xA0"},
      {"macintosh", "é", "\x8E"},
      {"x-mac-cyrillic", "Д", "\x84"},
      {"windows-874", "ก", "\xA1"},
      {"x-user-defined", "A\uF780\uF7FF", "A\x80\xFF"},
  };
  for (const Sample& s : samples) {
    SCOPED_TRACE(s.encoding);
    EXPECT_EQ(Decoded(s.bytes, {}, s.encoding), s.utf8);
    EXPECT_EQ(EncodeFromUtf8(s.utf8, s.encoding), s.bytes);
  }
  // EUC-JP's IBM extensions (rows 0xF9-0xFC) and JIS X 0212 (0x8F).
  EXPECT_EQ(Decoded("\xF9\xA1\x8F\xA2\xC3\x8F\xB0\xA1", {}, "EUC-JP"), "纊¦丂");
  EXPECT_EQ(Decoded("\xE5\x65\x2C\x67"s, {}, "UTF-16LE"), "日本");
  EXPECT_EQ(Decoded("\x65\xE5\x67\x2C"s, {}, "UTF-16BE"), "日本");
}

// --- Byte-order marks ---

TEST(DecodeHtml, Utf8BomIsUsedAndRemoved) {
  const auto result = DecodeHtml("\xEF\xBB\xBF<p>é</p>");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->encoding, "UTF-8");
  EXPECT_EQ(result->utf8, "<p>é</p>");
}

TEST(DecodeHtml, Utf16LeBomIsUsedAndRemoved) {
  const auto result = DecodeHtml("\xFF\xFE<\0p\0>\0\xE5\x65"s);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->encoding, "UTF-16LE");
  EXPECT_EQ(result->utf8, "<p>日");
}

TEST(DecodeHtml, Utf16BeBomIsUsedAndRemoved) {
  const auto result = DecodeHtml("\xFE\xFF\0<\0p\0>\x65\xE5"s);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->encoding, "UTF-16BE");
  EXPECT_EQ(result->utf8, "<p>日");
}

// --- Which declaration wins ---

TEST(DecodeHtml, BomBeatsOverrideTransportAndMeta) {
  const std::string page = "\xEF\xBB\xBF<meta charset=euc-jp>日本";
  EXPECT_EQ(EncodingOf(page, "Shift_JIS", "windows-1252"), "UTF-8");
  EXPECT_EQ(Decoded(page, "Shift_JIS", "windows-1252"), "<meta charset=euc-jp>日本");
}

TEST(DecodeHtml, OverrideBeatsTransportAndMeta) {
  const std::string page = "<meta charset=\"utf-8\">" + kSjisNihon;
  EXPECT_EQ(EncodingOf(page, "utf-8", "sjis"), "Shift_JIS");
  EXPECT_EQ(Decoded(page, "utf-8", "sjis"), "<meta charset=\"utf-8\">日本");
}

TEST(DecodeHtml, UnknownOverrideGivesNothing) {
  EXPECT_EQ(DecodeHtml("<p>a</p>", {}, "no-such-encoding"), std::nullopt);
  EXPECT_EQ(DecodeHtml("\xEF\xBB\xBF<p>a</p>", "utf-8", "bogus"), std::nullopt);
}

TEST(DecodeHtml, TransportBeatsMeta) {
  const std::string page = "<meta charset=windows-1252>" + kSjisNihon;
  EXPECT_EQ(EncodingOf(page, "Shift_JIS"), "Shift_JIS");
  EXPECT_EQ(Decoded(page, " shift_jis "), "<meta charset=windows-1252>日本");
}

TEST(DecodeHtml, UnknownTransportCharsetIsIgnored) {
  const std::string page = "<meta charset=shift_jis>" + kSjisNihon;
  EXPECT_EQ(EncodingOf(page, "no-such-charset"), "Shift_JIS");
}

TEST(DecodeHtml, TransportUtf16IsHonoured) {
  EXPECT_EQ(Decoded("<\0p\0>\0"s, "utf-16"), "<p>");
}

TEST(DecodeHtml, MetaBeatsFallback) {
  // Valid UTF-8 (plain ASCII), but declared otherwise.
  EXPECT_EQ(EncodingOf("<meta charset=euc-jp><p>a</p>"), "EUC-JP");
  // Shift_JIS bytes, declared windows-1252: read as declared.
  EXPECT_EQ(Decoded("<meta charset=windows-1252>\x93\xFA"), "<meta charset=windows-1252>“ú");
}

// --- The <meta> prescan ---

TEST(MetaPrescan, CharsetAttributeInEachQuoting) {
  const std::string body = "<title>" + kSjisPage + "</title>";
  for (const char* meta :
       {"<meta charset=\"Shift_JIS\">", "<meta charset='sjis'>", "<meta charset=sjis>",
        "<META CHARSET = \" SJIS \">", "<meta/charset=x-sjis>", "<meta name=x charset=ms_kanji>"}) {
    SCOPED_TRACE(meta);
    const auto result = DecodeHtml("<!DOCTYPE html><html><head>"s + meta + body);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->encoding, "Shift_JIS");
    EXPECT_EQ(result->utf8, "<!DOCTYPE html><html><head>"s + meta + "<title>" +
                                std::string(kUtf8Page) + "</title>");
  }
}

TEST(MetaPrescan, HttpEquivContentType) {
  EXPECT_EQ(EncodingOf("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">"),
            "EUC-JP");
  EXPECT_EQ(EncodingOf("<meta content='text/html;charset=\"euc-jp\"' http-equiv=content-type>"),
            "EUC-JP");
  EXPECT_EQ(EncodingOf("<meta http-equiv=Content-Type content=\"text/html; CHARSET = sjis\">"),
            "Shift_JIS");
}

TEST(MetaPrescan, ContentWithoutHttpEquivIsIgnored) {
  EXPECT_EQ(EncodingOf("<meta name=description content=\"charset=euc-jp\">"), "UTF-8");
  EXPECT_EQ(EncodingOf("<meta http-equiv=refresh content=\"text/html; charset=euc-jp\">"), "UTF-8");
}

TEST(MetaPrescan, CharsetInsideACommentIsIgnored) {
  EXPECT_EQ(EncodingOf("<!-- <meta charset=euc-jp> --><p>a</p>"), "UTF-8");
  EXPECT_EQ(EncodingOf("<!-- <meta charset=euc-jp> --><meta charset=sjis>"), "Shift_JIS");
  // "<!-->" is a complete comment, so the meta after it counts.
  EXPECT_EQ(EncodingOf("<!--><meta charset=euc-jp>-->"), "EUC-JP");
  // An unclosed comment hides everything after it.
  EXPECT_EQ(EncodingOf("<!-- <p> <meta charset=euc-jp>"), "UTF-8");
}

TEST(MetaPrescan, OtherTagsAttributesAreSkipped) {
  EXPECT_EQ(EncodingOf("<div title=\"<meta charset=euc-jp>\"></div>"), "UTF-8");
  EXPECT_EQ(EncodingOf("<img alt='x <meta charset=euc-jp> y'><meta charset=sjis>"), "Shift_JIS");
  EXPECT_EQ(EncodingOf("<metadata charset=euc-jp>"), "UTF-8");
  EXPECT_EQ(EncodingOf("<?xml version=\"1.0\" encoding=\"euc-jp\"?><meta charset=sjis>"),
            "Shift_JIS");
}

TEST(MetaPrescan, FirstUsableDeclarationWins) {
  EXPECT_EQ(EncodingOf("<meta charset=bogus><meta charset=euc-jp>"), "EUC-JP");
  EXPECT_EQ(EncodingOf("<meta charset=euc-jp><meta charset=sjis>"), "EUC-JP");
  // A repeated attribute is ignored; an unknown charset attribute hides the content one.
  EXPECT_EQ(EncodingOf("<meta charset=euc-jp charset=sjis>"), "EUC-JP");
  EXPECT_EQ(EncodingOf("<meta charset=bogus http-equiv=content-type content='charset=euc-jp'>"),
            "UTF-8");
}

TEST(MetaPrescan, Utf16MeansUtf8AndUserDefinedMeansWindows1252) {
  EXPECT_EQ(EncodingOf("<meta charset=utf-16le>"), "UTF-8");
  EXPECT_EQ(EncodingOf("<meta charset=\"UTF-16\">"), "UTF-8");
  EXPECT_EQ(EncodingOf("<meta charset=x-user-defined>"), "windows-1252");
}

TEST(MetaPrescan, OnlyTheFirst1024BytesCount) {
  const std::string padding = "<!--" + std::string(1100, '-') + "-->";
  EXPECT_EQ(EncodingOf(padding + "<meta charset=euc-jp>"), "UTF-8");
  const std::string shortPadding = "<!--" + std::string(900, '-') + "-->";
  EXPECT_EQ(EncodingOf(shortPadding + "<meta charset=euc-jp>"), "EUC-JP");
  // A meta cut by the limit declares nothing.
  const std::string cut(1024 - std::string_view("<meta charset=euc").size(), ' ');
  EXPECT_EQ(EncodingOf(cut + "<meta charset=euc-jp>"), "UTF-8");
}

// --- Nothing declared ---

TEST(DecodeHtml, ValidUtf8FallsBackToUtf8) {
  EXPECT_EQ(EncodingOf("<p>日本語</p>"), "UTF-8");
  EXPECT_EQ(Decoded("<p>日本語</p>"), "<p>日本語</p>");
  EXPECT_EQ(EncodingOf(""), "UTF-8");
  EXPECT_EQ(Decoded(""), "");
}

TEST(DecodeHtml, InvalidUtf8FallsBackToShiftJisThenWindows1252) {
  const std::string page = "<html><body><p>" + kSjisPage + "</p></body></html>";
  const auto result = DecodeHtml(page);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->encoding, "Shift_JIS");
  EXPECT_EQ(result->utf8, "<html><body><p>" + std::string(kUtf8Page) + "</p></body></html>");
  // Bytes that Shift_JIS rejects: a lead without its trail, a byte that leads nothing.
  EXPECT_EQ(EncodingOf("<p>caf\xE9 cr\xE8me</p>"), "windows-1252");
  EXPECT_EQ(Decoded("<p>caf\xE9 \x80 \xFD</p>"), "<p>café € ý</p>");
  EXPECT_EQ(Decoded("\x80\xA1"), "\u0080\uFF61");  // Shift_JIS's own 0x80 is no rejection
}

// --- Invalid bytes ---

TEST(InvalidBytes, Utf8SequencesBecomeOneReplacementEach) {
  EXPECT_EQ(Decoded("a\xFF"s + "b", {}, "utf-8"), "a\uFFFDb");
  EXPECT_EQ(Decoded("日a\xFF"s + "b\xE6\x97", {}, "utf-8"), "日a\uFFFDb\uFFFD");  // two, last at end
  EXPECT_EQ(Decoded("\xE6\x97"s + "x日", {}, "utf-8"), "\uFFFDx日");              // truncated
  EXPECT_EQ(Decoded("\xC0\xAF"s + "x", {}, "utf-8"), "\uFFFD\uFFFDx");            // overlong
  EXPECT_EQ(Decoded("\xED\xA0\x80"s + "x", {}, "utf-8"), "\uFFFD\uFFFD\uFFFDx");  // surrogate
  EXPECT_EQ(Decoded("日本\xE6\x97", {}, "utf-8"), "日本\uFFFD");                  // cut at the end
}

TEST(InvalidBytes, ShiftJisKeepsWhatFollows) {
  // A lead byte before an ASCII byte that is no trail byte: the ASCII byte is read again.
  EXPECT_EQ(Decoded(kSjisNihon + "\x81<b>" + kSjisNihon, {}, "Shift_JIS"), "日本\uFFFD<b>日本");
  // A lead byte with a trail byte outside the table: one replacement for both.
  EXPECT_EQ(Decoded("\x81\xFD" + kSjisNihon, {}, "Shift_JIS"), "\uFFFD日本");
  // A byte that begins nothing.
  EXPECT_EQ(Decoded("\xA0" + kSjisNihon, {}, "Shift_JIS"), "\uFFFD日本");
  // A lead byte at the very end.
  EXPECT_EQ(Decoded(kSjisNihon + "\x93", {}, "Shift_JIS"), "日本\uFFFD");
}

TEST(InvalidBytes, EucJpKeepsWhatFollows) {
  // Bytes that begin nothing, among them the C1 controls.
  EXPECT_EQ(Decoded("\x80\xA0\xFF"s + "a", {}, "EUC-JP"), "\uFFFD\uFFFD\uFFFDa");
  // User-defined rows, and the IBM extensions' place in JIS X 0212, are unmapped.
  EXPECT_EQ(Decoded("\xF5\xA1\xFE\xFE\x8F\xF3\xF3"s + "a", {}, "EUC-JP"), "\uFFFD\uFFFD\uFFFDa");
  // An ASCII byte where a sequence goes on is read again; any other byte ends the sequence.
  EXPECT_EQ(Decoded("\xA1"s + "a\x8F\xA1"s + "b\x8E\xE0\xC6\xFC", {}, "EUC-JP"),
            "\uFFFDa\uFFFDb\uFFFD日");
  EXPECT_EQ(Decoded("\xC6\xFC\x8F\xA2", {}, "EUC-JP"), "日\uFFFD");
}

TEST(InvalidBytes, OtherEncodingsKeepWhatFollows) {
  EXPECT_EQ(Decoded("\xC7\xD1\xFF"s + "a\xC7\xD1", {}, "EUC-KR"), "한\uFFFDa한");
  EXPECT_EQ(Decoded("\xAA"s + "a", {}, "windows-1253"), "\uFFFDa");
  EXPECT_EQ(Decoded("a\x81"s + "b", {}, "windows-1258"), "a\u0081b");
  EXPECT_EQ(Decoded("\x1B$BF|\x80K\\\x1B(B", {}, "ISO-2022-JP"), "日\uFFFD本");
  EXPECT_EQ(Decoded("a\0\x00\xD8"s + "b\0"s, {}, "UTF-16LE"), "a\uFFFDb");  // lone surrogate
  EXPECT_EQ(Decoded("a\0b"s, {}, "UTF-16LE"), "a\uFFFD");                   // odd length
  EXPECT_EQ(Decoded("abc", {}, "iso-2022-kr"), "\uFFFD");
  EXPECT_EQ(Decoded("", {}, "iso-2022-kr"), "");
}

// --- Encoding ---

TEST(EncodeFromUtf8, WritesShiftJisAsCodePage932) {
  EXPECT_EQ(EncodeFromUtf8("日本", "Shift_JIS"), kSjisNihon);
  EXPECT_EQ(EncodeFromUtf8("日本", " SJIS "), kSjisNihon);
  EXPECT_EQ(EncodeFromUtf8("q=日本&x=1", "windows-31j"), "q=" + kSjisNihon + "&x=1");
}

TEST(EncodeFromUtf8, WritesUnrepresentableCharactersAsReferences) {
  EXPECT_EQ(EncodeFromUtf8("😀", "Shift_JIS"), "&#128512;");
  EXPECT_EQ(EncodeFromUtf8("a😀日", "Shift_JIS"), "a&#128512;\x93\xFA");
  EXPECT_EQ(EncodeFromUtf8("日€", "windows-1252"), "&#26085;\x80");
  EXPECT_EQ(EncodeFromUtf8("é日", "x-user-defined"), "&#233;&#26085;");
  // The escape back to ASCII comes before the reference.
  EXPECT_EQ(EncodeFromUtf8("日😀本", "ISO-2022-JP"), "\x1B$BF|\x1B(B&#128512;\x1B$BK\\\x1B(B");
  // Bytes that are not UTF-8 count as U+FFFD.
  EXPECT_EQ(EncodeFromUtf8("a\xFF"s + "b", "Shift_JIS"), "a&#65533;b");
}

// A browser writes a character only where its decoder reads the same bytes back.
TEST(EncodeFromUtf8, WritesOnlyWhatDecodesBack) {
  EXPECT_EQ(EncodeFromUtf8("〜", "Shift_JIS"), "&#12316;");  // iconv writes U+FF5E's bytes
  EXPECT_EQ(EncodeFromUtf8("〜", "EUC-JP"), "&#12316;");
  EXPECT_EQ(EncodeFromUtf8("\u0080\u0081", "windows-1252"), "&#128;\x81");  // 0x80 is €
}

TEST(EncodeFromUtf8, RowsBrowsersOnlyReadAreNotWritten) {
  const struct {
    const char* encoding;
    std::string bytes;
    std::string utf8;
    std::string reference;
  } readOnly[] = {
      {"EUC-JP", "\x8F\xAB\xE4", "ü", "&#252;"},        // JIS X 0212
      {"Shift_JIS", "\xF0\x40", "\uE000", "&#57344;"},  // user-defined
      {"Big5", "\x88\x56", "Ā", "&#256;"},              // HKSCS below 0xA1
  };
  for (const auto& r : readOnly) {
    SCOPED_TRACE(r.encoding);
    EXPECT_EQ(Decoded(r.bytes, {}, r.encoding), r.utf8);
    EXPECT_EQ(EncodeFromUtf8(r.utf8, r.encoding), r.reference);
  }
}

TEST(EncodeFromUtf8, JapaneseStandIns) {
  EXPECT_EQ(EncodeFromUtf8("¥‾−", "Shift_JIS"), "\\~\x81\x7C");
  EXPECT_EQ(EncodeFromUtf8("¥‾−", "EUC-JP"), "\\~\xA1\xDD");
}

TEST(EncodeFromUtf8, Windows1252) {
  EXPECT_EQ(EncodeFromUtf8("café – naïve", "latin1"), "caf\xE9 \x96 na\xEFve");
}

TEST(EncodeFromUtf8, Utf8AndUtf16PassThroughAsUtf8) {
  for (const char* encoding : {"UTF-8", "utf8", "UTF-16LE", "utf-16be", "replacement"}) {
    EXPECT_EQ(EncodeFromUtf8("日本😀", encoding), "日本😀") << encoding;
  }
  EXPECT_EQ(EncodeFromUtf8("a\xFF", "UTF-8"), "a\uFFFD");
  EXPECT_EQ(EncodeFromUtf8("日本", "no-such-encoding"), "日本");
  EXPECT_EQ(EncodeFromUtf8("", "Shift_JIS"), "");
}

}  // namespace
}  // namespace tavrin::text
