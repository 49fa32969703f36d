#pragma once

#include <QStringList>

// The tooltips of the main window's explained controls: the control's name,
// the tip's title and its text, line by line (joined with CR LF).
namespace FAlertToolTips {

struct ToolTipText
{
    const char *control;
    const char *title;
    QStringList lines;
};

inline const ToolTipText ToolTipTexts[] = {
    {"lstAccounts", "Sellers to check",
     {"These eBay sellers' accounts will ", "be checked on a regular basis and you ",
      "will be notified by email of new auctions ", "and/or changes to current auctions."}},
    {"lstEmail", "Alert recipients", {"Zorvane alert messages will ", "be sent to these email addresses."}},
    {"txtUserName", "Email Address",
     {"Zorvane alert messages will be ", "sent from this email address.  Be sure the SMTP ",
      "server you specify below is able to send ", "messages from this address."}},
    {"txtSMTP", "SMTP Server",
     {"Enter an SMTP server to send email.  It is", "best to use an SMTP server associated with",
      "the email address you have entered, or one", "provided by your internet service provider."}},
    {"optBriefMessages", "Brief Message Format",
     {"A brief message includes the first 20 characters ", "of the auction description, the current auction ",
      "price, and the name of the high bidder (if any). ", "", "This format is best if you are sending messages ",
      "to a wireless phone or pager."}},
    {"chkChangesToAuctions", "Changes to Auctions",
     {"Choose this option to be informed of changes to ", "the auctions currently posted by the sellers you ",
      "are monitoring.  You will be informed any time a ", "bid is placed or retracted on any of the sellers' ",
      "auctions."}},
    {"optDetailedMessage", "Detailed Messages",
     {"Detailed messages include the auction number, ", "the auction title, a hyperlink to the auction ",
      "page on eBay, information about the most recent ", "price and the current price, and the name of the ",
      "high bidder."}},
    {"optManyMessages", "Individual Auction Alerts",
     {"Receive an individual email message for each ", "auction that has changes.  Each time the sellers' ",
      "auctions are checked, a message will be sent ", "for each auction with changes."}},
    {"chkNewAuctions", "New Auction Alerts",
     {"Choose this option to be informed of new auctions ", "posted by the sellers you have chosen to monitor."}},
    {"optOneMessage", "Consolidated messages",
     {"Receive one message for each seller you are ", "monitoring, with details on the changes to all ",
      "that seller's auctions.  This option results in ", "fewer total alert messages being sent, because ",
      "may contain information about many auctions."}},
    {"chkRememberAuctions", "Remember Auctions",
     {"Keep each seller's auctions when Zorvane ends, so that ", "the first check after the next start reports what ",
      "changed in the meantime.  More than 50 alerts for one ", "seller then come in one message."}},
    {"chkFailureNoticeOnce", "Failure Notices",
     {"Send the notice about a seller's page that cannot be ", "read only the first time, not at every check, and ",
      "one more when the page can be read again."}},
    {"cboSecurity", "Security",
     {"How the connection to the mail server is protected: ", "None (plain, usually port 25), STARTTLS (usually ",
      "port 587) or SSL/TLS (usually port 465).  Your ", "provider's help pages say which one it wants."}},
    {"txtSmtpPort", "Port",
     {"The port of the mail server.  Choosing a security ", "sets the usual one; change it only if your ",
      "provider says so."}},
    {"txtSmtpUser", "User name",
     {"The name you sign in to the mail server with, ", "usually your full email address.  Leave it empty ",
      "if the server takes mail without a sign-in."}},
    {"txtSmtpPassword", "Password",
     {"The password for the mail server, kept in your ", "desktop's keyring.  Many providers want an app ",
      "password here rather than your usual one."}},
    {"cmdSendTest", "Send Test Message",
     {"Sends a short message to the address above and ", "shows how the mail server answers, step by step."}},
};

} // namespace FAlertToolTips
