// Replacing files and the private data folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/files/safe_file.h"

namespace quarvel {
namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

QByteArray Content(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

struct stat LinkStat(const QString& path) {
  struct stat info {};
  lstat(Native(path).constData(), &info);
  return info;
}

QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                QDir::NoDotAndDotDot);
}

TEST(ReplaceFile, ReplacesALinkItselfAndKeepsAnExistingFilesPermissions) {
  QTemporaryDir dir;
  const QString target = dir.filePath("target"), link = dir.filePath("link");
  ASSERT_TRUE(ReplaceFile(target, "mine"));
  ASSERT_EQ(symlink(Native(target).constData(), Native(link).constData()), 0);
  ASSERT_TRUE(ReplaceFile(link, "picture"));
  EXPECT_EQ(Content(target), QByteArray("mine"));
  EXPECT_TRUE(S_ISREG(LinkStat(link).st_mode));
  EXPECT_EQ(Content(link), QByteArray("picture"));

  const QString dangling = dir.filePath("dangling"), nowhere = dir.filePath("nowhere");
  ASSERT_EQ(symlink(Native(nowhere).constData(), Native(dangling).constData()), 0);
  ASSERT_TRUE(ReplaceFile(dangling, "picture"));
  EXPECT_FALSE(QFile::exists(nowhere));
  EXPECT_TRUE(S_ISREG(LinkStat(dangling).st_mode));

  chmod(Native(target).constData(), 0640);
  ASSERT_TRUE(ReplaceFile(target, ""));
  EXPECT_EQ(LinkStat(target).st_mode & 07777, 0640u);
  EXPECT_EQ(Content(target), QByteArray());
  EXPECT_EQ(Entries(dir.path()), (QStringList{"dangling", "link", "target"}));
}

TEST(ReplaceFile, AFailedWriteLeavesTheDestinationAndNoTemporaryFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
  EXPECT_FALSE(ReplaceFile(dir.filePath("folder"), "x"));  // a folder is not replaced
  EXPECT_FALSE(ReplaceFile(dir.filePath("missing/x"), "x"));
  EXPECT_FALSE(ReplaceFile(QString(), "x"));
  EXPECT_FALSE(ReplaceFile(dir.filePath(".."), "x"));
  EXPECT_EQ(Entries(dir.path()), QStringList{"folder"});
}

TEST(ReadRegularFile, ReadsRegularFilesOnlyAndDoesNotFollowALink) {
  QTemporaryDir dir;
  const QString file = dir.filePath("file"), link = dir.filePath("link"),
                fifo = dir.filePath("fifo");
  ASSERT_TRUE(ReplaceFile(file, QByteArray("a\0b", 3)));
  ASSERT_EQ(symlink(Native(file).constData(), Native(link).constData()), 0);
  ASSERT_EQ(mkfifo(Native(fifo).constData(), 0600), 0);
  EXPECT_EQ(ReadRegularFile(file), QByteArray("a\0b", 3));
  EXPECT_FALSE(ReadRegularFile(link));
  EXPECT_FALSE(ReadRegularFile(fifo));  // and does not wait for a writer
  EXPECT_FALSE(ReadRegularFile(dir.path()));
  EXPECT_FALSE(ReadRegularFile(dir.filePath("absent")));
}

TEST(EnsurePrivateFolder, CreatesOrNarrowsToPrivateAndRefusesLinksFilesAndStrangers) {
  QTemporaryDir dir;
  QString why;
  const QString fresh = dir.filePath("a/b/quarvel");
  ASSERT_TRUE(EnsurePrivateFolder(fresh, &why)) << why.toStdString();
  EXPECT_EQ(LinkStat(fresh).st_mode & 07777, 0700u);

  const QString open = dir.filePath("open");
  ASSERT_EQ(mkdir(Native(open).constData(), 0777), 0);
  chmod(Native(open).constData(), 0777);
  ASSERT_TRUE(EnsurePrivateFolder(open));
  EXPECT_EQ(LinkStat(open).st_mode & 07777, 0700u);

  const QString link = dir.filePath("link");
  ASSERT_EQ(symlink(Native(open).constData(), Native(link).constData()), 0);
  EXPECT_FALSE(EnsurePrivateFolder(link, &why));
  EXPECT_TRUE(why.contains("symbolic link"));

  const QString file = dir.filePath("file");
  ASSERT_TRUE(ReplaceFile(file, "x"));
  EXPECT_FALSE(EnsurePrivateFolder(file));

  if (geteuid() == 0) {  // only root can give a folder away
    const QString theirs = dir.filePath("theirs");
    ASSERT_EQ(mkdir(Native(theirs).constData(), 0700), 0);
    ASSERT_EQ(chown(Native(theirs).constData(), 65534, 65534), 0);
    EXPECT_FALSE(EnsurePrivateFolder(theirs, &why));
    EXPECT_TRUE(why.contains("another user"));
  }
}

TEST(ReplaceFile, ANewFileIsAsPrivateAsItsFolderWhateverTheUmask) {
  const mode_t old = umask(0);
  QTemporaryDir dir;  // private to the user
  const QString shared = dir.filePath("shared");
  ASSERT_EQ(mkdir(Native(shared).constData(), 0755), 0);
  const struct {
    QString path;
    mode_t mode;
  } cases[] = {{dir.filePath("验证码.jpg"), 0600}, {shared + "/screenshot.png", 0666}};
  for (const auto& c : cases) {
    ASSERT_TRUE(ReplaceFile(c.path, "x"));
    EXPECT_EQ(LinkStat(c.path).st_mode & 07777, c.mode) << c.path.toStdString();
  }
  umask(old);
}

TEST(CheckPrivateFolder, TellsMissingUsableAndUnusableWithoutChangingAnything) {
  QTemporaryDir dir;
  const QString open = dir.filePath("open"), file = dir.filePath("file");
  ASSERT_EQ(mkdir(Native(open).constData(), 0755), 0);
  ASSERT_TRUE(ReplaceFile(file, "x"));
  ASSERT_EQ(symlink("nowhere", Native(dir.filePath("dangling")).constData()), 0);
  const struct {
    QString folder;
    FolderCheck check;
  } cases[] = {{dir.filePath("absent"), FolderCheck::Missing},
               {open, FolderCheck::Usable},
               {file, FolderCheck::Unusable},
               {dir.filePath("dangling"), FolderCheck::Unusable}};
  for (const auto& c : cases)
    EXPECT_EQ(CheckPrivateFolder(c.folder), c.check) << c.folder.toStdString();
  EXPECT_EQ(LinkStat(open).st_mode & 07777, 0755u);
  EXPECT_FALSE(QFile::exists(dir.filePath("absent")));
}

}  // namespace
}  // namespace quarvel
