#pragma once

#include <QStringList>

// One function per subcommand; each gets the words after its name and
// gives back the process exit status.
namespace InspectCommands {

// fetch URL: the page text as the fetcher gives it, in the page's own bytes.
int runFetch(const QStringList &args);

// sendmail --server HOST [--port N] [--security none|starttls|tls]
// [--user NAME --password-file FILE] [--ca-file PEM] --from ADDR --to ADDR
// --subject TEXT --body-file FILE: one mail session, each event and
// dialogue line (sign-in masked) as one JSON line, then its result.
int runSendMail(const QStringList &args);

// listing [--category SITE] FILE...: the items of saved listing pages, one
// JSON line each, then the parse result or its error.
int runListing(const QStringList &args);

// compare --seller ID --previous FILE... --current FILE... [--brief]
// [--one-message] [--no-new] [--no-changes]: the alerts the program would
// send for two saved scans, one JSON line each.
int runCompare(const QStringList &args);

} // namespace InspectCommands
