#pragma once

#include <QString>

#include <qcoro/qcorotask.h>

#include <functional>

class CItems;

// What the user wants to be told, read from the window's controls.
struct AlertSwitches
{
    bool changesWanted = true;
    bool newAuctionsWanted = true;
    bool detailed = true;
    bool onePerSeller = false;
};

// Compares a seller's previous scan with the current one and sends the
// alerts: a block for every new auction and for every auction whose bid,
// price or high bidder changed, one message per auction or all of a seller's
// blocks in one message.
//
// The switches are asked for each time a block may be written, so a change
// the user makes while a comparison runs applies from the next item on
// (except one-message-per-seller, read once at the start). Between items
// the comparison gives the event loop a turn now and then, so the window
// stays usable during long comparisons.
class ChangeAlerts
{
public:
    struct Hooks
    {
        std::function<AlertSwitches()> switches;
        // Shows the progress text "Analyzing Item k for changes.".
        std::function<void(const QString &)> showProgress;
        // Lets waiting events run; the comparison goes on when it resumes.
        std::function<QCoro::Task<>()> letEventsRun;
        // True once the comparison must end at once, touching nothing (its
        // lists may be gone): asked after every wait.
        std::function<bool()> stopped;
        // Sends one message about the seller to every recipient.
        std::function<QCoro::Task<>(QString body, QString sellerId)> send;
    };

    ChangeAlerts(QString itemHost, Hooks hooks);

    // With bOnePerSeller, all of the seller's blocks go in one message
    // whatever the switch says.
    QCoro::Task<> CompareLists(const CItems &previous, const CItems &current, QString sellerId,
                               bool bOnePerSeller = false) const;

    // How many blocks the comparison would write with these switches.
    static int alertCount(const CItems &previous, const CItems &current, const AlertSwitches &switches);

private:
    QString m_itemHost;
    Hooks m_hooks;
};
