// TdmCam: creation from the form data, destruction.
#include "graph.h"

#include <QFile>

#include "FormData.h"
#include "TearDown.h"

TdmCam* dmCam = nullptr;

namespace {

constexpr const char* kModuleName = "dmCam";
constexpr const char* kFormResource = ":/graph.form";

QString ReadFormData() {
  QFile file(QString::fromLatin1(kFormResource));
  if (!file.open(QIODevice::ReadOnly)) {
    throw EReadError(
        QStringLiteral("The form data of %1 cannot be read (%2): %3")
            .arg(QString::fromLatin1(kModuleName), file.fileName(), file.errorString()));
  }
  return QString::fromUtf8(file.readAll());
}

}  // namespace

template <class T>
T* TdmCam::Component(const char* name) {
  T* component = dynamic_cast<T*>(FindComponent(QString::fromLatin1(name)));
  if (component == nullptr) {
    throw EReadError(QStringLiteral("The form data of %1 lacks the component %2")
                         .arg(QString::fromLatin1(kModuleName), QString::fromLatin1(name)));
  }
  return component;
}

TdmCam::TdmCam() {
  SetName(QString::fromLatin1(kModuleName));
  TFormReader(*this).Read(ReadFormData());
  fg = Component<TFilterGraph>("fg");
  VideoSource = Component<TFilter>("VideoSource");
  AudioSource = Component<TFilter>("AudioSource");
  sg = Component<TSampleGrabber>("sg");
  Deinterlacer = Component<TFilter>("Deinterlacer");
  DVencoder = Component<TFilter>("DVencoder");
  color = Component<TFilter>("color");
  color2 = Component<TFilter>("color2");
  Smarttee = Component<TFilter>("Smarttee");
  Infinite = Component<TFilter>("Infinite");
  Infinite2 = Component<TFilter>("Infinite2");
  Null = Component<TFilter>("Null");
  dmCam = this;
}

TdmCam::~TdmCam() {
  // A destructor must not throw: a failure to stop or empty the graph is reported instead, on
  // standard error once the window has gone.
  TearDownReporting(*this, [this] { DataModuleDestroy(); });
  SourcePin.Reset();
  if (dmCam == this) dmCam = nullptr;
}

void TdmCam::DataModuleDestroy() {
  fg->StopGraph();
  fg->EmptyGraph();
  fg->SetActive(false);
}
