#pragma once

class MainForm;
class SetForm;
class IdPassForm;
class OptionForm;
class TyakuForm;
class DogWindow;

// The single instances of the program's windows. Touching a window that does not exist creates
// it hidden (its load steps run in its constructor); a closed window is forgotten and the next
// touch creates it afresh.
namespace Forms {

MainForm *mainForm();
MainForm *existingMainForm();

SetForm *setForm();
SetForm *existingSetForm();

IdPassForm *idPassForm();
IdPassForm *existingIdPassForm();

OptionForm *optionForm();
OptionForm *existingOptionForm();

TyakuForm *tyakuForm();
TyakuForm *existingTyakuForm();

// The dog windows Form1 to Form10, by form number (not dog number).
DogWindow *dogWindow(int formNumber);
DogWindow *existingDogWindow(int formNumber);
void closeDogWindow(int formNumber);

// Destroys every window at once, without their closing steps (program end, and between tests).
void destroyAll();

} // namespace Forms
