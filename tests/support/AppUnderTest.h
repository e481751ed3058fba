// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SaveManager.h"
#include "fakes/FakeKeyboard.h"
#include "ui/App.h"

#include <QFile>

#include <memory>

// An App on the offscreen platform as a program that has started before: a settings file without the first start
// (plus `settings`, lines of its [General] group), a fake keyboard handed back in `keys`. Null when the settings
// file cannot be written.
inline std::unique_ptr<App> make_app_under_test(FakeKeyboard*& keys, const QByteArray& settings = QByteArray())
{
    QFile file(SaveManager::default_path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return nullptr;
    file.write("[General]\nSaveVersion=2\nIsFirstStart=false\nStartAtStartup=false\n" + settings);
    file.close();
    auto keyboard = std::make_unique<FakeKeyboard>();
    keys = keyboard.get();
    return std::make_unique<App>(std::move(keyboard));
}
