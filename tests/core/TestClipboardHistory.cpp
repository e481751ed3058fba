// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ClipboardHistory.h"
#include <QTest>
class TestClipboardHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void placeholder() {}
};
QTEST_GUILESS_MAIN(TestClipboardHistory)
#include "TestClipboardHistory.moc"
