// A window compared with a recorded description of what it shows: every widget's kind, name,
// place and size, whether it is hidden or disabled, its texts, value, hint, how it takes the
// keyboard's focus, its font (the family the machine gives it) and its colours. The
// descriptions live in tests/snapshots/ and are read by people against the window they
// describe; a change meant to be is recorded again with VIDORRA_RECORD_SNAPSHOTS=1 and the new
// file reviewed.
#pragma once

#include <QRegularExpression>
#include <QString>

class QWidget;

namespace vidorra::test {

// Expects `root` described as tests/snapshots/`name`.txt says (or records it, as above): a line
// a widget, children indented under their parent. In the texts, the home folder shows as "~" and
// what `varying` matches (a date, a time) as "*".
void ExpectSnapshot(const QWidget& root, const QString& name,
                    const QRegularExpression& varying = {});

}  // namespace vidorra::test
