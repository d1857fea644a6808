#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

// The single instances of the program's windows. Touching a window that does not exist creates
// it hidden (its load steps run in its constructor); a closed window is forgotten and the next
// touch creates it afresh.
//
// Each window of this list has Forms::<accessor>(), which touches it, and
// Forms::existing<Class>(), which is null while it does not exist (Forms::mainForm(),
// Forms::existingMainForm(), ...). Adding a window is one line here and its include in Forms.cpp.
#define WANDERPUP_SINGLE_WINDOWS(WINDOW)                                                                  \
    WINDOW(MainForm, mainForm)                                                                             \
    WINDOW(SetForm, setForm)                                                                               \
    WINDOW(IdPassForm, idPassForm)                                                                         \
    WINDOW(OptionForm, optionForm)                                                                         \
    WINDOW(TyakuForm, tyakuForm)                                                                           \
    WINDOW(FriendForm, friendForm)                                                                         \
    WINDOW(WriteForm, writeForm)                                                                           \
    WINDOW(BackForm, backForm)

#define WANDERPUP_DECLARE_WINDOW(Class, accessor)                                                         \
    class Class;                                                                                           \
    namespace Forms {                                                                                      \
    Class *accessor();                                                                                     \
    Class *existing##Class();                                                                              \
    }
WANDERPUP_SINGLE_WINDOWS(WANDERPUP_DECLARE_WINDOW)
#undef WANDERPUP_DECLARE_WINDOW

class DogWindow;

namespace Forms {

// The dog windows Form1 to Form10, by form number (not dog number).
DogWindow *dogWindow(int formNumber);
DogWindow *existingDogWindow(int formNumber);
void closeDogWindow(int formNumber);

// Destroys every window at once, without their closing steps (program end, and between tests).
void destroyAll();

// One single-instance window. Every slot joins one list while it lives, so destroyAll() reaches
// every window there is. A window whose construction touches its own slot again would recurse
// without end; the program stops instead, naming the window.
class Slot
{
public:
    Slot(const char *name, std::function<QWidget *()> make);
    ~Slot();
    Slot(const Slot &) = delete;
    Slot &operator=(const Slot &) = delete;

    // The window, created hidden (and deleted on close) when it does not exist.
    QWidget *touch();
    QWidget *existing() const { return m_window; }
    void destroy();
    const char *name() const { return m_name; }

private:
    const char *m_name;
    std::function<QWidget *()> m_make;
    QPointer<QWidget> m_window;
    bool m_creating = false;
};

} // namespace Forms
