// The package layer: a workbook is a zip archive of XML parts.

#include "platform/xlsx/XlsxPrivate.h"

#include <QFile>

#include <algorithm>

#include <zip.h>

namespace xlsx {

namespace {

QString zipErrorText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

QString archiveErrorText(zip_t *archive)
{
    return QString::fromUtf8(zip_error_strerror(zip_get_error(archive)));
}

// No part of a workbook we read comes near this; a damaged or hostile file
// may claim more in its directory.
constexpr zip_uint64_t kMaxPartSize = zip_uint64_t(1) << 30;

} // namespace

bool readZip(const QString &path, QList<ZipEntry> *entries, QString *error)
{
    entries->clear();
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!archive) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, zipErrorText(code));
        return false;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
            *error = QStringLiteral("cannot read %1: %2").arg(path, archiveErrorText(archive));
            zip_discard(archive);
            return false;
        }
        ZipEntry entry;
        entry.name = QString::fromUtf8(st.name);
        if (st.size > kMaxPartSize) {
            *error = QStringLiteral("cannot read %1 in %2: the part is too large").arg(entry.name, path);
            zip_discard(archive);
            return false;
        }
        if (st.size > 0) {
            // The size is what the archive's directory claims; memory grows
            // only with what really comes out of the part.
            zip_file_t *file = zip_fopen_index(archive, zip_uint64_t(i), 0);
            zip_int64_t got = file ? 0 : -1;
            char chunk[64 * 1024];
            while (file && zip_uint64_t(got) < st.size) {
                const zip_int64_t n =
                    zip_fread(file, chunk, std::min<zip_uint64_t>(sizeof chunk, st.size - zip_uint64_t(got)));
                if (n <= 0) {
                    if (n < 0)
                        got = -1;
                    break;
                }
                entry.data.append(chunk, qsizetype(n));
                got += n;
            }
            if (file)
                zip_fclose(file);
            if (got != zip_int64_t(st.size)) {
                *error = QStringLiteral("cannot read %1 in %2: %3").arg(entry.name, path, archiveErrorText(archive));
                zip_discard(archive);
                return false;
            }
        }
        entries->append(entry);
    }
    zip_discard(archive);
    return true;
}

bool writeZip(const QString &path, const QList<ZipEntry> &entries, QString *error)
{
    int code = 0;
    // libzip builds the archive in a temporary file and renames it over the
    // target on zip_close, so a failed save leaves any old file in place.
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, zipErrorText(code));
        return false;
    }
    for (const ZipEntry &entry : entries) {
        const QByteArray name = entry.name.toUtf8();
        zip_int64_t index = -1;
        if (entry.name.endsWith(u'/')) {
            index = zip_dir_add(archive, name.constData(), ZIP_FL_ENC_UTF_8);
        } else {
            // The buffer belongs to entries, which outlives zip_close below.
            zip_source_t *source =
                zip_source_buffer(archive, entry.data.constData(), zip_uint64_t(entry.data.size()), 0);
            if (source) {
                index = zip_file_add(archive, name.constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
                if (index < 0)
                    zip_source_free(source);
                else // sheet XML compresses well at the fastest level; a large export writes much faster
                    zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_DEFLATE, 1);
            }
        }
        if (index < 0) {
            *error = QStringLiteral("cannot add %1 to %2: %3").arg(entry.name, path, archiveErrorText(archive));
            zip_discard(archive);
            return false;
        }
    }
    if (zip_close(archive) != 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, archiveErrorText(archive));
        zip_discard(archive);
        return false;
    }
    return true;
}

} // namespace xlsx
