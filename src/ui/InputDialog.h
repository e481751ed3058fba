// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class input_dialog;
}

// The small always-on-top window one spell is typed into. OK and Return do the same: finished(text), then the
// window closes. Closing it by any means emits closed(). It shows itself when constructed. Main thread only.
class InputDialog : public QWidget {
    Q_OBJECT
public:
    InputDialog(const QString& title, const QString& text, QWidget* parent = nullptr);
    ~InputDialog() override;

    QString input_text() const;
    void set_input_text(const QString& text);

Q_SIGNALS:
    void finished(QString text);
    void closed();

public Q_SLOTS:
    void on_ok_button_clicked();
    void on_input_text_returnPressed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::input_dialog> m_ui;
};
