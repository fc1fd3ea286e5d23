// Opening an address in the user's default web browser.
#pragma once

#include <QString>
#include <functional>

namespace Browser {

// Hands the address to the desktop's default handler; a failure is silent.
void openInDefaultBrowser(const QString& address);

// Tests replace the desktop handler with their own; nullptr restores it.
using Opener = std::function<void(const QString&)>;
void setOpenerForTesting(Opener opener);

} // namespace Browser
