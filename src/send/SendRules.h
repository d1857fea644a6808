#pragma once

#include "store/HistoryFile.h"

#include <QString>

#include <array>

// What a new mail gets besides what the user typed: the fortune, the dog marker, the rule that
// keeps those two and the bulk send apart, and the record the sent history keeps of it.
namespace SendRules {

// The fortune block: the heading and one of twelve texts, drawn at random.
constexpr int FortuneCount = 12;
const QString &fortuneHeading();
// Text k, 1 to 12; empty for any other k.
QString fortuneText(int k);
// k for a random number 0 <= r < 1 drawn in single precision: int(r * 12 + 1), kept within 1..12
// (a number just below 1 rounds up to 1 in single precision).
int fortuneNumberFor(double r);
// Reseeds the program's random source from the clock and draws k.
int drawFortune();
// CR LF, CR LF, the heading, CR LF, CR LF and text k.
QString fortuneBlock(int k);

// Four CR LF pairs and the marker of dog `dog` (1 to 10); empty for 0 (no dog).
QString markerBlock(int dog);

// The body as it goes out: the typed body, then the fortune block (fortune 1..12, 0 for none),
// then the marker block (dog 0 for none).
QString outgoingBody(const QString &body, int fortune, int dog);
// The typed body of a mail that went out as `sent` (the reverse of outgoingBody).
QString typedBody(const QString &sent);

// The dog options of the compose window, in the order of their controls: each names a dog
// (0 = "送らない"), the caption of its separate label and what the status box says once it is
// chosen.
struct DogOption
{
    const char *name;
    int dog;
    const char16_t *caption;
    const char16_t *chosenText;
};
extern const std::array<DogOption, 11> DogOptions;
// The option of dog `dog` (0 = "送らない").
const DogOption &optionOfDog(int dog);

// The three extras a mail can have, and the rule that leaves at most one of them: bulk send
// beats a dog, and a dog beats the fortune.
struct Extras
{
    bool bulk = false;
    int dog = 0; // 0 = no dog
    bool fortune = false;

    bool operator==(const Extras &) const = default;
};
Extras applyExclusivity(Extras extras);

// The sent history's record of a mail: subject, address and body without surrounding spaces
// (the body as typed, before the fortune and the marker), the date as the clock box shows it.
HistoryRecord sentRecord(const QString &subject, const QString &date, const QString &to, const QString &body);

// Text boxes hold lines ended by LF; mails and records have CR LF.
QString withCrLf(QString text);
QString withLf(QString text);

} // namespace SendRules
