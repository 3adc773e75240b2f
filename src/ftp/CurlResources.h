#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>
#include <curl/curl.h>
#include <new>

// A curl_slist (FTP commands, HTTP headers) freed with its owner.
class CurlStringList {
public:
    CurlStringList() = default;
    CurlStringList(const CurlStringList&) = delete;
    CurlStringList& operator=(const CurlStringList&) = delete;
    ~CurlStringList() { curl_slist_free_all(m_list); }

    void append(const QByteArray& text) {
        curl_slist* grown = curl_slist_append(m_list, text.constData());
        if (!grown)
            throw std::bad_alloc();
        m_list = grown;
    }
    curl_slist* get() const { return m_list; }

private:
    curl_slist* m_list = nullptr;
};

// A local file that libcurl reads an upload from; null when it cannot be opened.
class UploadSource {
public:
    explicit UploadSource(const QString& path)
        : m_file(std::fopen(QFile::encodeName(path).constData(), "rb")) {}
    UploadSource(const UploadSource&) = delete;
    UploadSource& operator=(const UploadSource&) = delete;
    ~UploadSource() {
        if (m_file)
            std::fclose(m_file);
    }
    FILE* get() const { return m_file; }

private:
    FILE* m_file;
};
