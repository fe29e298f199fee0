// The form data: components created with their stored properties, and written back.
#include "ComponentsTestSupport.h"
#include "FormData.h"

using namespace components_test;

// The components read back with every property written, a reference to another component by
// its name among them.
TEST(FormData, WriterAndReaderAgree) {
  TComponent source;
  source.SetName(QStringLiteral("dmCam"));
  auto* fg = source.Adopt(std::make_unique<TFilterGraph>());
  fg->SetName(QStringLiteral("fg"));
  fg->SetAutoCreate(true);
  fg->SetMode(gmCapture);
  fg->SetLogFile(QStringLiteral("/tmp/a \"quoted\" name.log"));
  auto* filter = source.Adopt(std::make_unique<TFilter>());
  filter->SetName(QStringLiteral("Encoder"));
  filter->BaseFilter().SetMoniker(EncoderMoniker().Get());
  filter->SetFilterGraph(fg);
  auto* sg = source.Adopt(std::make_unique<TSampleGrabber>());
  sg->SetName(QStringLiteral("sg"));
  sg->MediaType().SetSubType(MEDIASUBTYPE_RGB32);
  // What the reader reads of the program's own form: the engine's tests.
  const QString text = TFormWriter::Write(source);

  TComponent copy;
  TFormReader reader(copy);
  const std::vector<TComponent*> created = reader.Read(text);
  ASSERT_EQ(created.size(), 3u);
  auto* readGraph = dynamic_cast<TFilterGraph*>(copy.FindComponent(QStringLiteral("fg")));
  auto* readFilter = dynamic_cast<TFilter*>(copy.FindComponent(QStringLiteral("Encoder")));
  auto* readGrabber = dynamic_cast<TSampleGrabber*>(copy.FindComponent(QStringLiteral("sg")));
  ASSERT_TRUE(readGraph && readFilter && readGrabber);
  EXPECT_EQ(readGraph->Mode(), gmCapture);
  EXPECT_EQ(readGraph->LogFile(), fg->LogFile());
  EXPECT_EQ(readFilter->FilterGraph(), readGraph);
  EXPECT_EQ(readFilter->BaseFilter().Block(), filter->BaseFilter().Block());
  EXPECT_EQ(readGrabber->MediaType().SubType(), MEDIASUBTYPE_RGB32);
  EXPECT_TRUE(readGraph->Active()) << "AutoCreate: active once loaded";
  readGraph->SetActive(false);
  readFilter->SetFilterGraph(nullptr);
  filter->SetFilterGraph(nullptr);
}

// Errors name the line, or what was wrong with a value.
TEST(FormData, ErrorsNameTheLine) {
  const struct {
    const char *text, *says;
  } kCases[] = {
      {"object fg TFilterGraph\n  Colour = clRed\nend\n", "line 2"},
      {"object x TNoSuchClass\nend\n", "line 1"},
      {"object y TFilter\n  BaseFilter.data = hex:0A\nend\n", "truncated"},
      {"object z TFilter\n  FilterGraph = nowhere\nend\n", "nowhere"},
      {"object v TFilterGraph\n  LogFile = two words\nend\n", "malformed value"},
      {"object w TFilter\n", "end"},
  };
  for (const auto& c : kCases) {
    TComponent form;
    TFormReader reader(form);
    try {
      reader.Read(QString::fromLatin1(c.text));
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const EReadError& e) {
      EXPECT_TRUE(e.Message().contains(QString::fromLatin1(c.says))) << e.what();
    }
  }
}
