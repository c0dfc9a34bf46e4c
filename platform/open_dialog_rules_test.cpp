// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/open_dialog_rules.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

const QChar kNul(u'\0');

TEST(ParseFilterTest, SplitsTextAndPattern) {
  const QList<FilterEntry> entries =
      ParseFilter(QStringLiteral("Mbox-Mailboxen (*.*)|*.*"));
  ASSERT_EQ(entries.size(), 1);
  EXPECT_EQ(entries[0].text, QStringLiteral("Mbox-Mailboxen (*.*)"));
  EXPECT_EQ(entries[0].patterns, QStringList{QStringLiteral("*.*")});
}

TEST(ParseFilterTest, ReadsSeveralEntriesAndPatternLists) {
  const QList<FilterEntry> entries =
      ParseFilter(QStringLiteral("A|*.a;*.b|B|*.box|dangling"));
  ASSERT_EQ(entries.size(), 2);
  EXPECT_EQ(entries[0].patterns,
            (QStringList{QStringLiteral("*.a"), QStringLiteral("*.b")}));
  EXPECT_EQ(entries[1].text, QStringLiteral("B"));
}

TEST(MatchesPatternTest, StarDotStarListsNamesWithoutADot) {
  EXPECT_TRUE(MatchesPattern(QStringLiteral("Inbox"), QStringLiteral("*.*")));
  EXPECT_TRUE(MatchesPattern(QStringLiteral("old.mbx"), QStringLiteral("*.*")));
  EXPECT_TRUE(MatchesPattern(QStringLiteral(".hidden"), QStringLiteral("*.*")));
}

TEST(MatchesPatternTest, BoxPatternIgnoresLetterCase) {
  for (const char* name : {"in.box", "Sent.BOX", "x.Box"}) {
    EXPECT_TRUE(
        MatchesPattern(QString::fromLatin1(name), QStringLiteral("*.box")))
        << name;
    EXPECT_TRUE(
        MatchesPattern(QString::fromLatin1(name), QStringLiteral("*.BOX")))
        << name;
  }
  EXPECT_FALSE(
      MatchesPattern(QStringLiteral("in.boxes"), QStringLiteral("*.box")));
  EXPECT_FALSE(
      MatchesPattern(QStringLiteral("inbox"), QStringLiteral("*.box")));
  EXPECT_FALSE(
      MatchesPattern(QStringLiteral("a.box.txt"), QStringLiteral("*.box")));
}

TEST(ComposeOpenAnswerTest, NoneOneAndSeveral) {
  EXPECT_EQ(ComposeOpenAnswer({}), QString());
  EXPECT_EQ(ComposeOpenAnswer({QStringLiteral("/mail/inbox")}),
            QStringLiteral("/mail/inbox"));
  EXPECT_EQ(
      ComposeOpenAnswer({QStringLiteral("/mail/a"), QStringLiteral("/mail/b")}),
      QStringLiteral("/mail") + kNul + QStringLiteral("a") + kNul +
          QStringLiteral("b"));
}

TEST(ComposeOpenAnswerTest, RootFolderKeepsItsSeparator) {
  EXPECT_EQ(ComposeOpenAnswer({QStringLiteral("/a"), QStringLiteral("/b")}),
            QStringLiteral("/") + kNul + QStringLiteral("a") + kNul +
                QStringLiteral("b"));
  EXPECT_EQ(ComposeOpenAnswer({QStringLiteral("/x")}), QStringLiteral("/x"));
}

TEST(ComposeOpenAnswerTest, NoLimitOnTheLength) {
  QStringList paths;
  for (int i = 0; i < 500; ++i) {
    paths.append(
        QStringLiteral("/a/rather/long/folder/name/mailbox-number-%1").arg(i));
  }
  const QString answer = ComposeOpenAnswer(paths);
  EXPECT_GT(answer.size(), 260);
  const QStringList parts = answer.split(kNul);
  ASSERT_EQ(parts.size(), 501);
  EXPECT_EQ(parts.back(), QStringLiteral("mailbox-number-499"));
}

TEST(SplitOpenAnswerTest, GivesFolderAndNames) {
  InitialSelection one = SplitOpenAnswer(QStringLiteral("/mail/inbox"));
  EXPECT_EQ(one.folder, QStringLiteral("/mail/"));
  EXPECT_EQ(one.names, QStringList{QStringLiteral("inbox")});
  InitialSelection several =
      SplitOpenAnswer(QStringLiteral("/mail") + kNul + QStringLiteral("a") +
                      kNul + QStringLiteral("b"));
  EXPECT_EQ(several.folder, QStringLiteral("/mail"));
  EXPECT_EQ(several.names,
            (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
  EXPECT_TRUE(SplitOpenAnswer(QString()).names.isEmpty());
}

TEST(TypedNamesTest, QuotedNamesAndThePlainName) {
  EXPECT_EQ(
      SplitTypedNames(QStringLiteral("\"Archiv\" \"Post eingang\"  \"x\"")),
      (QStringList{"Archiv", "Post eingang", "x"}));
  EXPECT_EQ(SplitTypedNames(QStringLiteral("My Inbox")),
            QStringList{"My Inbox"});
  EXPECT_TRUE(SplitTypedNames(QString()).isEmpty());
  const QStringList names{"a", "b c"};
  EXPECT_EQ(SplitTypedNames(JoinTypedNames(names)), names);
  // Names that hold double quotes, as Linux allows, in a choice of several.
  for (const QStringList& quoted :
       {QStringList{"Post \"alt\"", "Inbox"}, QStringList{"a", "\"x\" y"},
        QStringList{"Say \"hi\" there", "\"", "b"}}) {
    EXPECT_EQ(SplitTypedNames(JoinTypedNames(quoted)), quoted);
  }
  EXPECT_EQ(JoinTypedNames({"only"}), QStringLiteral("only"));
}

TEST(TypedNamesTest, FindsTheFileAsTheListShowsIt) {
  const QStringList files{"Sent.BOX", "a.box", "A.BOX", "Inbox", "x.box"};
  struct Case {
    const char* typed;
    const char* ext;
    TypedNameMatch::Outcome outcome;
    const char* name;
  };
  const Case cases[] = {
      {"Sent", "box", TypedNameMatch::kFound, "Sent.BOX"},
      {"sent.box", "", TypedNameMatch::kFound, "Sent.BOX"},
      {"a", "box", TypedNameMatch::kFound, "a.box"},  // the exact spelling
      {"a.Box", "", TypedNameMatch::kAmbiguous, ""},  // a.box or A.BOX
      {"inbox", "", TypedNameMatch::kFound, "Inbox"},
      {"Inbox", "box", TypedNameMatch::kMissing, ""},  // means Inbox.box
      {"y", "box", TypedNameMatch::kMissing, ""},
  };
  for (const Case& c : cases) {
    const TypedNameMatch match = FindTypedName(
        QString::fromLatin1(c.typed), files, QString::fromLatin1(c.ext));
    EXPECT_EQ(match.outcome, c.outcome) << c.typed;
    EXPECT_EQ(match.name, QString::fromLatin1(c.name)) << c.typed;
  }
}

}  // namespace
}  // namespace quillet
