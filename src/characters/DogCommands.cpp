#include "DogCommands.h"

#include "app/Forms.h"
#include "characters/DogWindow.h"
#include "characters/SetForm.h"

namespace {

constexpr int kTick = 200;

} // namespace

namespace DogCommands {

void walkAll()
{
    for (int form = 1; form <= 10; ++form) {
        DogWindow *dog = Forms::dogWindow(form);
        dog->setTimer1Interval(kTick);
        dog->setTimer2Interval(0);
    }
}

void kennelAll()
{
    for (int form = 1; form <= 10; ++form) {
        DogWindow *dog = Forms::dogWindow(form);
        dog->setTimer2Interval(kTick);
        dog->setTimer1Interval(0);
    }
}

void ClearDogSelection()
{
    SetForm *settings = Forms::setForm();
    for (int check = 1; check <= 10; ++check)
        settings->setTicked(check, false);
    // The buttons promise to put the dogs away, also when the sync is not running.
    closeVisible();
}

void syncVisibility()
{
    SetForm *settings = Forms::setForm();
    for (int k = 1; k <= 10; ++k)
        if (settings->isTicked(k))
            Forms::dogWindow(k)->show();
    for (int k = 1; k <= 10; ++k)
        if (!settings->isTicked(k))
            Forms::closeDogWindow(k);
}

void closeVisible()
{
    for (int form = 1; form <= 10; ++form)
        if (const DogWindow *dog = Forms::existingDogWindow(form); dog && dog->isVisible())
            Forms::closeDogWindow(form);
}

} // namespace DogCommands
