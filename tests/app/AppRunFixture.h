// The application object's tests: the program's start-up options, pointed at the fixture's scratch folders.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppFixture.h"

#include "CORXUtilityApp.h"

#include <QDialog>

#include <functional>
#include <utility>

namespace orx::test {

class AppRunFixture : public AppFixture {
protected:
    // Start-up options whose lock and settings live in the scratch folder; `run` stands in for the window's run.
    CORXUtilityApp::Options options(std::function<int(QDialog&)> run)
    {
        CORXUtilityApp::Options o;
        o.lockFolder = scratch.path();
        o.folders = folders;
        o.runDialog = std::move(run);
        return o;
    }
};

} // namespace orx::test
