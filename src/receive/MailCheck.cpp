#include "MailCheck.h"

void CheckMail() {}
