#include "SmtpServerProcess.h"

QString SmtpServerProcess::script() { return QStringLiteral(ZORVANE_SMTP_SERVER_SCRIPT); }
