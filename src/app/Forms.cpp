#include "Forms.h"

#include "app/IdPassForm.h"
#include "app/MainForm.h"
#include "app/OptionForm.h"
#include "characters/DogWindow.h"
#include "characters/SetForm.h"
#include "viewer/TyakuForm.h"

#include <QPointer>

#include <array>

namespace {

template <class Form>
Form *touch(QPointer<Form> &slot)
{
    if (!slot) {
        slot = new Form();
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    return slot;
}

QPointer<MainForm> g_main;
QPointer<SetForm> g_set;
QPointer<IdPassForm> g_idPass;
QPointer<OptionForm> g_option;
QPointer<TyakuForm> g_tyaku;
std::array<QPointer<DogWindow>, 11> g_dogs;

bool validDog(int formNumber)
{
    return formNumber >= 1 && formNumber <= 10;
}

} // namespace

namespace Forms {

MainForm *mainForm() { return touch(g_main); }
MainForm *existingMainForm() { return g_main; }
SetForm *setForm() { return touch(g_set); }
SetForm *existingSetForm() { return g_set; }
IdPassForm *idPassForm() { return touch(g_idPass); }
IdPassForm *existingIdPassForm() { return g_idPass; }
OptionForm *optionForm() { return touch(g_option); }
OptionForm *existingOptionForm() { return g_option; }
TyakuForm *tyakuForm() { return touch(g_tyaku); }
TyakuForm *existingTyakuForm() { return g_tyaku; }

DogWindow *dogWindow(int formNumber)
{
    if (!validDog(formNumber))
        return nullptr;
    QPointer<DogWindow> &slot = g_dogs[size_t(formNumber)];
    if (!slot) {
        slot = new DogWindow(formNumber);
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    return slot;
}

DogWindow *existingDogWindow(int formNumber)
{
    return validDog(formNumber) ? g_dogs[size_t(formNumber)].data() : nullptr;
}

void closeDogWindow(int formNumber)
{
    // Deleted at once, so that a show right after creates a fresh window.
    delete existingDogWindow(formNumber);
}

void destroyAll()
{
    for (QPointer<DogWindow> &dog : g_dogs)
        delete dog.data();
    delete g_tyaku.data();
    delete g_idPass.data();
    delete g_option.data();
    delete g_set.data();
    delete g_main.data();
}

} // namespace Forms
