#!/usr/bin/python3
"""Plants deliberate faults in the code, one at a time, and says which
tests catch each: a check that the test suite still catches the mistakes a
developer makes, for instance after tests were merged or removed.

usage: scripts/plant-faults.py [--build DIR] [--only AREA,...] [--tests REGEX] [--list] [--out FILE]

For every fault below: the source line is changed, the build folder (the
default preset's, build/ unless --build says otherwise) is brought up to
date, the whole suite runs (ctest, end-to-end tests included), and the
source is put back, whatever happens. A fault no test catches is printed as
MISSED. The source must build and pass the suite before it starts.
"""

import argparse
import json
import os
import subprocess
import sys
import time

# (area, file, text as it is, text with the fault, what the fault is)
FAULTS = [
    # The parser's cuts.
    ("parser", "src/auction/CItems.cpp", "cutView(page, p + ItemMark.size(), g)", "cutView(page, p + ItemMark.size() + 1, g)", "item number cut one late"),
    ("parser", "src/auction/CItems.cpp", "highBid = cutView(page, b + BoldOpen.size(), t);", "highBid = cutView(page, b + BoldOpen.size() - 1, t);", "bold price cut one early"),
    ("parser", "src/auction/CItems.cpp", "const qsizetype priceStart = r + QuoteRight.size() + 1;", "const qsizetype priceStart = r + QuoteRight.size();", "plain price keeps the tag's '>'"),
    ("parser", "src/auction/CItems.cpp", "m - d <= TitleIconReach", "m - d < TitleIconReach", "an icon 119 characters on no longer ends the title"),
    ("parser", "src/auction/CItems.cpp", "numBids = trimBlanks(cutView(page, u + 10, dutchWord.from(u)));", "numBids = cutView(page, u + 10, dutchWord.from(u));", "Dutch count not trimmed"),
    ("parser", "src/auction/CItems.cpp", "if (highBidder.size() > MaxBidderLength)", "if (highBidder.size() >= MaxBidderLength)", "a 50-character bidder is dropped"),
    ("parser", "src/auction/CItems.cpp", "if (itemNumber.size() < ItemNumberLimit)", "if (itemNumber.size() <= ItemNumberLimit)", "12-character item numbers are kept"),
    ("parser", "src/auction/CItems.cpp", "const bool completed = inRow(s) && !page.mid(s).startsWith(CompletedLegend);", "const bool completed = inRow(s);", "the legend marks an auction completed"),
    ("parser", "src/auction/CItems.cpp", "const bool bids = inRow(b);", "const bool bids = b >= 0;", "a bold price past the row counts"),
    ("parser", "src/auction/CItems.cpp", "PageSearch titleCellEnd(page, CellEnd, Qt::CaseInsensitive);", "PageSearch titleCellEnd(page, CellEnd);", "the title's </TD> is no longer found"),
    # The list files.
    ("lists", "src/auction/CUserIDs.cpp", "bytes += PageText::toBytes(entry->UserID()) + \"\\r\\n\";", "bytes += PageText::toBytes(entry->UserID()) + \"\\n\";", "list files written with LF"),
    ("lists", "src/auction/CUserIDs.cpp", "                    if (c == '\\n')\n                        continue;", "                    if (c == '\\r')\n                        continue;", "CR LF read as two line ends"),
    ("lists", "src/auction/CUserIDs.cpp", "        if (!line.isEmpty())\n            addLine(line);", "", "a last line without line end is lost"),
    ("lists", "src/auction/CUserIDs.cpp", "            if (present.value()->UserID() == sUserID)\n                return nullptr;", "            return nullptr;", "a letter-case variant is quietly ignored"),
    ("lists", "src/monitor/ListStore.cpp", "    if (!isReadOnly(which))\n        list(which).SaveToReturnDelimitedFile", "    list(which).SaveToReturnDelimitedFile", "a list read part-way is written back"),
    # Change detection and alert texts.
    ("alerts", "src/monitor/ChangeAlerts.cpp", "return current.Bids() != previous.Bids() || current.HighBid() != previous.HighBid()", "return current.Bids() != previous.Bids() || current.NumBids() != previous.NumBids()", "price changes not seen"),
    ("alerts", "src/monitor/ChangeAlerts.cpp", "        || current.HighBidder() != previous.HighBidder();", ";", "bidder changes not seen"),
    ("alerts", "src/monitor/AlertBlocks.cpp", "u\"PREVIOUS PRICE: \"", "u\"PREVIOUS PRICE:\"", "detailed block text"),
    ("alerts", "src/monitor/AlertBlocks.cpp", "item.Bids() ? QStringView(item.HighBidder()) : QStringView(u\" (no bids)\")", "item.Bids() ? QStringView(item.HighBidder()) : QStringView(u\"(no bids)\")", "no-bids text loses its blank"),
    ("alerts", "src/monitor/AlertBlocks.cpp", "return item.Description().left(20);", "return item.Description().left(21);", "brief title of 21 characters"),
    ("alerts", "src/monitor/AlertBlocks.cpp", "u\"NEW ITEM: \" % firstTwenty(current) % u\" . . . \"", "u\"NEW ITEM: \" % firstTwenty(current) % u\" . . .\"", "brief new block's trailing blank"),
    ("alerts", "src/monitor/AlertBlocks.cpp", "u\"CURRENT DUTCH BIDS: \" % current.NumBids()", "u\"CURRENT DUTCH BIDS: \" % current.HighBid()", "Dutch new block shows the price"),
    ("alerts", "src/monitor/ChangeAlerts.cpp", "        if (blockWritten && !onePerSeller) {", "        if (blockWritten && onePerSeller) {", "one message per auction and per seller swapped"),
    ("alerts", "src/monitor/ChangeAlerts.cpp", "            if (switches.newAuctionsWanted) {", "            if (switches.changesWanted) {", "new auctions follow the changes switch"),
    # The cycle's rules.
    ("cycle", "src/monitor/CheckCycle.cpp", "            if (seller->FirstScan())\n                seller->setFirstScan(false);\n            else\n                co_await", "            if (seller->FirstScan())\n                seller->setFirstScan(false);\n            co_await", "the first scan alerts"),
    ("cycle", "src/monitor/CheckCycle.cpp", "        if (m_bFirstCheck)\n            co_await SendEmail(WelcomeBody", "        if (!m_bFirstCheck)\n            co_await SendEmail(WelcomeBody", "welcome at every check but the first"),
    ("cycle", "src/monitor/CheckCycle.cpp", "        + QStringLiteral(\".  This user's auctions will scanned again during the next check.\");", "        + QStringLiteral(\".  This user's auctions will be scanned again during the next check.\");", "failure notice text"),
    ("cycle", "src/auction/ListingSite.h", "inline constexpr qsizetype ShortestPage = 2500;", "inline constexpr qsizetype ShortestPage = 250;", "short pages accepted"),
    ("cycle", "src/auction/ListingSite.h", "    return PageSearch(page, NextPageMarker).from(0) >= 0;", "    return false;", "only the first page is read"),
    ("cycle", "src/auction/ListingSite.h", "+ QStringLiteral(\"&include=0&since=1&page=\")", "+ QStringLiteral(\"&include=0&since=0&page=\")", "listing address"),
    ("cycle", "src/monitor/CheckCycle.cpp", "        if (m_iMinutesElapsed >= m_iCheckInterval && !m_bCycleRunning && !m_bStopped)", "        if (m_iMinutesElapsed > m_iCheckInterval && !m_bCycleRunning && !m_bStopped)", "the cycle starts a minute late"),
    ("cycle", "src/monitor/CheckCycle.cpp", "            if (!scanned || !seller)\n                continue;", "            if (!seller)\n                continue;", "a failed seller is compared and rotated"),
    ("cycle", "src/monitor/CheckCycle.cpp", "            seller->OldItems().swap(seller->Items());", "", "the previous scan is never replaced"),
    # The SMTP dialogue and body.
    ("smtp", "src/mail/CEmail.cpp", "send(QStringLiteral(\"HELO \") + m_frmWinsock->LocalHostName());", "send(QStringLiteral(\"EHLO \") + m_frmWinsock->LocalHostName());", "plain mode says EHLO"),
    ("smtp", "src/mail/CEmail.cpp", "        if (iCode != 354)", "        if (iCode != 250)", "DATA expects 250"),
    ("smtp", "src/mail/CEmail.cpp", "        if (bLineStart && c == u'.')\n            sOut += u'.';", "", "no dot-stuffing"),
    ("smtp", "src/mail/CEmail.cpp", "            if (c == u'\\r' && i + 1 < n && sBody.at(i + 1) == u'\\n')\n                ++i;", "", "CR LF becomes two line ends"),
    ("smtp", "src/mail/CEmail.cpp", "        + QStringLiteral(\"Mime-Version: 1.0\") + CrLf", "        + QStringLiteral(\"MIME-Version: 1.0\") + CrLf", "plain header block: MIME line"),
    ("smtp", "src/mail/CEmail.cpp", "        + QStringLiteral(\"Content-Type: text/plain;\\tcharset=us-ascii\") + CrLf", "        + QStringLiteral(\"Content-Type: text/plain; charset=us-ascii\") + CrLf", "plain header block changed"),
    ("smtp", "src/mail/CEmail.cpp", "    sLine.remove(u'\\n');\n    return sLine;", "    return sLine;", "LF reaches a header"),
    ("smtp", "src/mail/CEmail.cpp", "        if (c < u'0' || c > u'9')\n            break;", "        if (c < u'0' || c > u'9')\n            continue;", "reply code read past the digits"),
    ("smtp", "src/mail/CEmail.cpp", "    Q_EMIT WinsockMessage(QStringLiteral(\"Connected to send email\"));", "    Q_EMIT WinsockMessage(QStringLiteral(\"Connected to send e-mail\"));", "progress text"),
    ("smtp", "src/mail/CEmail.cpp", "            return refuse(sReply, true);\n        send(QStringLiteral(\"RCPT TO:<\")", "            return refuse(sReply, false);\n        send(QStringLiteral(\"RCPT TO:<\")", "refused sender without the closed-in-error text"),
    # The fetcher's status and size rules.
    ("fetcher", "src/web/HttpExchange.cpp", "    if (m_status < 200 || m_status > 299) {", "    if (m_status < 200 || m_status > 499) {", "error pages accepted"),
    ("fetcher", "src/web/HttpExchange.cpp", "    if (m_body.size() + bytes.size() > m_maxBodyBytes) {", "    if (false) {", "no size bound while reading"),
    ("fetcher", "src/web/HttpExchange.cpp", "    if (m_location.isEmpty() || downgrade || ++m_redirects > MaxRedirects)", "    if (m_location.isEmpty() || ++m_redirects > MaxRedirects)", "https to http followed"),
    ("fetcher", "src/web/HttpExchange.cpp", "    finish(m_stage == Stage::Body && m_contentLength < 0);", "    finish(m_stage == Stage::Body);", "a body cut short is accepted"),
    ("fetcher", "src/web/HttpExchange.cpp", "    if (!m_onKeptConnection || m_status != 0 || !m_buffer.isEmpty())", "    if (true)", "a kept connection the server closed is not replaced"),
    ("fetcher", "src/web/HttpExchange.cpp", "        && !fieldValue(lines, \"Connection\").toLower().contains(\"close\");", "        && false;", "no connection is kept"),
    ("fetcher", "src/web/CWebConnection.h", "static constexpr qint64 DefaultMaxBodyBytes = 16 * 1024 * 1024;", "static constexpr qint64 DefaultMaxBodyBytes = 64 * 1024 * 1024;", "the bound grows"),
    ("fetcher", "src/web/CWebConnection.cpp", "        sResponse = bOk ? PageText::fromBytes(body) : QStringLiteral(\"Error\");", "        sResponse = bOk ? PageText::fromBytes(body) : QString();", "asynchronous failure without Error"),
    # The update address.
    ("update", "src/update/CStartStatus.cpp", "QStringLiteral(\"&appclass=\") + QString::number(300000)", "QStringLiteral(\"&appclass=\") + QString::number(30000)", "application class"),
    ("update", "src/update/CStartStatus.cpp", "return m_sMakerHost + QStringLiteral(\"version/versioncheck.asp\")", "return m_sMakerHost + QStringLiteral(\"version/versioncheck.aspx\")", "version service path"),
    ("update", "src/update/CStartStatus.cpp", "        if (block.size() <= 20) {", "        if (block.size() < 20) {", "a status block of 20 is read"),
    ("update", "src/update/CStartStatus.cpp", "        if (!IsDownloadAddress(m_sUpdateURL))", "        if (false)", "any update address goes to the browser"),
    # The brand values.
    ("brand", "src/config/CCustomBrand.cpp", "const qint16 s = toPosition(qsizetype(p1) + sKey.size() + 1);", "const qint16 s = toPosition(qsizetype(p1) + sKey.size());", "brand value keeps the '>'"),
    ("brand", "src/config/CCustomBrand.cpp", "const qint16 n = toPosition(qsizetype(p2) - 2 - s);", "const qint16 n = toPosition(qsizetype(p2) - 1 - s);", "brand value keeps the '<'"),
    ("brand", "src/config/CCustomBrand.cpp", "Brand::CompanyName = QStringLiteral(\"Pellridge\");", "Brand::CompanyName = QStringLiteral(\"Pelridge\");", "default company name"),
    ("brand", "src/config/CCustomBrand.cpp", "    text.remove(u'\\n');", "    text.replace(u'\\n', u' ');", "brand lines joined with a blank"),
]


def run(args, cwd, timeout=None):
    return subprocess.run(args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=timeout)


def failing_tests(output):
    failed = []
    for line in output.splitlines():
        line = line.strip()
        if line[:1].isdigit() and " - " in line and ("(Failed)" in line or "(Timeout)" in line or "(Subprocess" in line or "(SEGFAULT)" in line or "(Child aborted)" in line or "Exception" in line):
            failed.append(line.split(" - ", 1)[1].rsplit(" (", 1)[0])
    return failed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--only", default="")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--out", default="")
    parser.add_argument("--tests", default="", help="run only the tests whose names match")
    options = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    areas = set(filter(None, options.only.split(",")))
    faults = [f for f in FAULTS if not areas or f[0] in areas]
    if options.list:
        for area, path, _, _, what in faults:
            print(f"{area:8} {path}: {what}")
        return 0
    results = []
    for number, (area, path, before, after, what) in enumerate(faults, 1):
        full = os.path.join(root, path)
        with open(full, encoding="utf-8") as f:
            original = f.read()
        if original.count(before) != 1:
            print(f"[{number}/{len(faults)}] {area}: {what}: the text to change is not there once: {before!r}", flush=True)
            results.append({"area": area, "fault": what, "caught_by": None, "error": "text not found"})
            continue
        try:
            with open(full, "w", encoding="utf-8") as f:
                f.write(original.replace(before, after))
            started = time.time()
            build = run(["cmake", "--build", options.build], root)
            if build.returncode != 0:
                caught = ["(does not build)"]
            else:
                only = ["-R", options.tests] if options.tests else []
                test = run(["ctest", "--test-dir", options.build, "-j2", "--timeout", "120"] + only, root,
                           timeout=1800)
                caught = failing_tests(test.stdout)
        finally:
            with open(full, "w", encoding="utf-8") as f:
                f.write(original)
        verdict = ", ".join(caught) if caught else "MISSED"
        print(f"[{number}/{len(faults)}] {area}: {what}: {verdict} ({time.time() - started:.0f} s)", flush=True)
        results.append({"area": area, "fault": what, "caught_by": caught})
    run(["cmake", "--build", options.build], root)
    if options.out:
        with open(options.out, "w", encoding="utf-8") as f:
            json.dump(results, f, indent=1)
    missed = [r for r in results if not r["caught_by"]]
    print(f"{len(results) - len(missed)} of {len(results)} faults caught")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
