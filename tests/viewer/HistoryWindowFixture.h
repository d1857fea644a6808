#pragma once

#include "ScriptedPrompter.h"
#include "TestSupport.h"
#include "app/Forms.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuForm.h"

#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

// The history window over a program folder of its own, its message boxes scripted; the window
// and the history mode do not outlive the test.
class HistoryWindowFixture : public ::testing::Test
{
protected:
    void SetUp() override { HistoryMode = 0; }
    void TearDown() override
    {
        Forms::destroyAll();
        HistoryMode = 0;
    }

    TyakuForm *window() { return Forms::tyakuForm(); }
    // A click on a row of the list, where a user would click.
    void click(int row)
    {
        QTreeView *list = window()->MailListView;
        const QRect cell = list->visualRect(window()->mailList->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};
