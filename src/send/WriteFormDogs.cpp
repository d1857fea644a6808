// The dog choice of the compose window, and the rule that lets at most one of the extras (a dog,
// the fortune, the bulk send) go out.
#include "WriteForm.h"

#include "SendRules.h"
#include "WriteFormParts.h"
#include "kit/WindowKit.h"
#include "platform/Fonts.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace {

int optionNumber(const char *name)
{
    return QByteArray(name).mid(6).toInt(); // "Option12" -> 12
}

} // namespace

using namespace WriteFormParts;

void WriteForm::buildDogChoice()
{
    Text2 = Kit::placeInTwips(new QLineEdit(this), "Text2", {3360, 1080, 3255, 270});
    Text2->setReadOnly(true);
    Text2->setAccessibleName(QStringLiteral("犬の選択"));

    Frame1 = Kit::placeInTwips(new QGroupBox(QStringLiteral("犬設定（数字は犬種・・・）"), this), "Frame1",
                               {240, 1320, 6495, 1095});
    // Dogs 1 to 5 and "送らない" above, dogs 6 to 10 below; each round mark has its caption
    // in a label of its own.
    int slot = 0;
    for (const SendRules::DogOption &choice : SendRules::DogOptions) {
        const int number = optionNumber(choice.name);
        const bool lowerRow = choice.dog >= 6;
        const int column = lowerRow ? slot - 6 : slot;
        const double left = 240 + column * 1020;
        const double top = lowerRow ? 660 : 300;
        const QString caption = QString::fromUtf16(choice.caption);
        QRadioButton *option = Kit::placeInTwips(new QRadioButton(Frame1), choice.name, {left, top, 255, 255});
        option->setAccessibleName(caption);
        Option[size_t(number)] = option;
        auto *label =
            Kit::placeInTwips(new QLabel(caption, Frame1), QStringLiteral("%1Label").arg(QLatin1String(choice.name)),
                              {left + 270, top, 720, 255});
        linkCaption(label, option);
        const QString chosen = QString::fromUtf16(choice.chosenText);
        connect(option, &QRadioButton::toggled, this, [this, chosen](bool on) {
            if (on)
                Text2->setText(chosen);
        });
        ++slot;
    }

    // Between the dog frame and the To field, its box ending where the field begins.
    Label12 = Kit::placeInTwips(
        new QLabel(QStringLiteral("「キャラ送信」、「占い添付」、「一括送信」機能は同時には使用出来ません。一個選択"),
                   this),
        "Label12", {240, 2520, 6495, 240});
    Label12->setFont(Fonts::proportionalGothic(8.25));
    QPalette red = Label12->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    Label12->setPalette(red);
}

int WriteForm::chosenDog() const
{
    for (const SendRules::DogOption &choice : SendRules::DogOptions)
        if (Option[size_t(optionNumber(choice.name))]->isChecked())
            return choice.dog;
    return 0;
}

void WriteForm::applyExclusivity()
{
    syncFrame();
    if (Option[2]->isChecked()) {
        Check1->setChecked(false);
        Option[8]->setChecked(true);
    }
    if (!Option[8]->isChecked()) {
        Check1->setChecked(false);
        deselect(Option[2]);
    }
    if (Check1->isChecked()) {
        Option[8]->setChecked(true);
        deselect(Option[2]);
    }
}
