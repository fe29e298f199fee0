// The form data: components created with their stored properties, and written back.
#include <devmoniker.h>
#include <gtest/gtest.h>

#include "ComponentsTestSupport.h"
#include "FormData.h"

using namespace components_test;

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
  ComPtr<IMoniker> moniker;
  ASSERT_EQ(
      CreateDeviceMoniker(L"@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\DV Video Encoder",
                          moniker.GetAddressOf()),
      S_OK);
  filter->BaseFilter().SetMoniker(moniker.Get());
  filter->SetFilterGraph(fg);
  auto* sg = source.Adopt(std::make_unique<TSampleGrabber>());
  sg->SetName(QStringLiteral("sg"));
  sg->MediaType().SetSubType(MEDIASUBTYPE_RGB32);  // not the default: the read must carry it
  const QString text = TFormWriter::Write(source);
  EXPECT_TRUE(text.contains(QStringLiteral("object fg TFilterGraph\n"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("  Mode = gmCapture\n")));
  EXPECT_TRUE(text.contains(QStringLiteral("  FilterGraph = fg\n")));
  EXPECT_TRUE(text.contains(QStringLiteral("  BaseFilter.data = hex:9A000000")));
  // Without an ancestor the grabber's type is always written.
  EXPECT_TRUE(text.contains(QStringLiteral("  MediaType.data = hex:76696473")));

  TComponent copy;
  TFormReader reader(copy);
  const std::vector<TComponent*> created = reader.Read(text);
  ASSERT_EQ(created.size(), 3u);
  auto* readGraph = dynamic_cast<TFilterGraph*>(copy.FindComponent(QStringLiteral("fg")));
  auto* readFilter = dynamic_cast<TFilter*>(copy.FindComponent(QStringLiteral("Encoder")));
  ASSERT_NE(readGraph, nullptr);
  ASSERT_NE(readFilter, nullptr);
  EXPECT_EQ(readGraph->Mode(), gmCapture);
  EXPECT_EQ(readGraph->LogFile(), fg->LogFile());
  EXPECT_EQ(readFilter->FilterGraph(), readGraph);
  EXPECT_EQ(readFilter->BaseFilter().Block(), filter->BaseFilter().Block());
  auto* readGrabber = dynamic_cast<TSampleGrabber*>(copy.FindComponent(QStringLiteral("sg")));
  ASSERT_NE(readGrabber, nullptr);
  EXPECT_EQ(readGrabber->MediaType().SubType(), MEDIASUBTYPE_RGB32);
  EXPECT_TRUE(readGraph->Active()) << "AutoCreate: active once loaded";
  readGraph->SetActive(false);
  readFilter->SetFilterGraph(nullptr);
  filter->SetFilterGraph(nullptr);
}

TEST(FormData, ErrorsNameTheLine) {
  TComponent form;
  TFormReader reader(form);
  try {
    reader.Read(QStringLiteral("object fg TFilterGraph\n  Colour = clRed\nend\n"));
    FAIL() << "no error";
  } catch (const EReadError& e) {
    EXPECT_TRUE(e.Message().contains(QStringLiteral("line 2"))) << e.what();
    EXPECT_TRUE(e.Message().contains(QStringLiteral("Colour"))) << e.what();
  }
  EXPECT_THROW(reader.Read(QStringLiteral("object x TNoSuchClass\nend\n")), EReadError);
  EXPECT_THROW(reader.Read(QStringLiteral("object y TFilter\n  BaseFilter.data = hex:0A\nend\n")),
               EReadError);
  EXPECT_THROW(reader.Read(QStringLiteral("object z TFilter\n  FilterGraph = nowhere\nend\n")),
               EReadError);
  EXPECT_THROW(reader.Read(QStringLiteral("object w TFilter\n")), EReadError);
}
