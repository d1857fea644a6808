#include "Forms.h"

#include "addressbook/FriendForm.h"
#include "app/IdPassForm.h"
#include "app/MainForm.h"
#include "app/OptionForm.h"
#include "characters/DogWindow.h"
#include "characters/SetForm.h"
#include "kit/WindowKit.h"
#include "send/BackForm.h"
#include "send/WriteForm.h"
#include "viewer/TyakuForm.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace {

// Every living slot, in the order the slots were made.
std::vector<Forms::Slot *> &livingSlots()
{
    static std::vector<Forms::Slot *> list;
    return list;
}

// A window opens on the screen, wherever it was put; the dogs walk where they like.
QWidget *onScreen(QWidget *window)
{
    Kit::keepOnScreenWhenShown(window);
    return window;
}

#define WANDERPUP_WINDOW_SLOT(Class, accessor)                                                             \
    Forms::Slot g_##accessor(#Class, [] { return onScreen(new Class()); });
WANDERPUP_SINGLE_WINDOWS(WANDERPUP_WINDOW_SLOT)
#undef WANDERPUP_WINDOW_SLOT

using DogSlots = std::array<std::unique_ptr<Forms::Slot>, 11>;

DogSlots makeDogSlots()
{
    static const char *const names[] = {"",      "Form1", "Form2", "Form3", "Form4", "Form5",
                                        "Form6", "Form7", "Form8", "Form9", "Form10"};
    DogSlots dogs;
    for (int form = 1; form <= 10; ++form)
        dogs[size_t(form)] = std::make_unique<Forms::Slot>(names[form], [form] { return new DogWindow(form); });
    return dogs;
}

// Form1 to Form10 by form number; index 0 stays empty.
const DogSlots g_dogs = makeDogSlots();

bool validDog(int formNumber)
{
    return formNumber >= 1 && formNumber <= 10;
}

} // namespace

namespace Forms {

Slot::Slot(const char *name, std::function<QWidget *()> make) : m_name(name), m_make(std::move(make))
{
    livingSlots().push_back(this);
}

Slot::~Slot()
{
    std::vector<Slot *> &list = livingSlots();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

QWidget *Slot::touch()
{
    if (m_window)
        return m_window;
    if (m_creating)
        qFatal("Window %s was touched while it was being created: its construction reaches itself.", m_name);
    m_creating = true;
    struct Done
    {
        bool &flag;
        ~Done() { flag = false; }
    } done{m_creating};
    QWidget *window = m_make();
    window->setAttribute(Qt::WA_DeleteOnClose);
    m_window = window;
    return window;
}

void Slot::destroy()
{
    delete m_window.data();
}

#define WANDERPUP_WINDOW_ACCESSORS(Class, accessor)                                                        \
    Class *accessor() { return static_cast<Class *>(g_##accessor.touch()); }                              \
    Class *existing##Class() { return static_cast<Class *>(g_##accessor.existing()); }
WANDERPUP_SINGLE_WINDOWS(WANDERPUP_WINDOW_ACCESSORS)
#undef WANDERPUP_WINDOW_ACCESSORS

DogWindow *dogWindow(int formNumber)
{
    return validDog(formNumber) ? static_cast<DogWindow *>(g_dogs[size_t(formNumber)]->touch()) : nullptr;
}

DogWindow *existingDogWindow(int formNumber)
{
    return validDog(formNumber) ? static_cast<DogWindow *>(g_dogs[size_t(formNumber)]->existing()) : nullptr;
}

void closeDogWindow(int formNumber)
{
    // Deleted at once, so that a show right after creates a fresh window.
    if (validDog(formNumber))
        g_dogs[size_t(formNumber)]->destroy();
}

void destroyAll()
{
    // Last made, first destroyed: the dogs before the windows that reach them, the main window last.
    const std::vector<Slot *> list = livingSlots();
    for (auto slot = list.rbegin(); slot != list.rend(); ++slot)
        (*slot)->destroy();
}

} // namespace Forms
