#include "untPictureFetch.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcPictureFetch, "quillet.pictures")

struct TPictureFetch::Job {
    QUrl Url;
    const QObject* Key = nullptr;
    QPointer<QObject> Context;
    QSize FitIn;
    TDone Done;
    QNetworkReply* Reply = nullptr;
    QByteArray Body;
    bool TooLarge = false;
    bool TimedOut = false;
};

TPictureFetch::TPictureFetch(QObject* parent) : QObject(parent), FNet(new QNetworkAccessManager(this)) {
    FNet->setObjectName(QStringLiteral("PictureFetchNet"));
}

TPictureFetch::~TPictureFetch() {
    // Replies go with the network manager; none of them may call back into a half-destroyed
    // fetcher.
    for (const auto& job : FRunning)
        if (job->Reply) {
            job->Reply->disconnect(this);
            job->Reply->abort();
        }
    for (auto it = FContexts.cbegin(); it != FContexts.cend(); ++it)
        disconnect(it.value());
}

QUrl TPictureFetch::PictureUrl(const QString& AUrl) const {
    if (AUrl.trimmed().isEmpty())
        return {};
    QUrl target(AUrl.trimmed(), QUrl::TolerantMode);
    if (target.isRelative())
        target = QUrl::fromEncoded(FServer.toEncoded() + '/').resolved(target);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || target.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    const QString ext = QFileInfo(target.path()).suffix().toLower();
    if (ext != QLatin1String("jpg") && ext != QLatin1String("jpeg"))
        return {};
    return target;
}

QImage TPictureFetch::Decode(const QByteArray& ABytes, const QSize& AFitIn) {
    if (ABytes.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(ABytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer); // by content: the address's ending proves nothing
    const QSize size = reader.size();
    if (AFitIn.isValid() && size.isValid() &&
        (size.width() > AFitIn.width() || size.height() > AFitIn.height()))
        reader.setScaledSize(size.scaled(AFitIn, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    return reader.read();
}

void TPictureFetch::Watch(QObject* AContext) {
    if (FContexts.contains(AContext))
        return;
    const QObject* key = AContext;
    FContexts.insert(key, connect(AContext, &QObject::destroyed, this, [this, key] {
                         FContexts.remove(key);
                         Abandon(key);
                     }));
}

bool TPictureFetch::Fetch(const QString& AUrl, QObject* AContext, const QSize& AFitIn, TDone ADone) {
    const QUrl url = PictureUrl(AUrl);
    if (url.isEmpty() || !AContext || !ADone)
        return false;
    auto job = std::make_shared<Job>();
    job->Url = url;
    job->Key = AContext;
    job->Context = AContext;
    job->FitIn = AFitIn;
    job->Done = std::move(ADone);
    Watch(AContext);
    FQueue.push_back(std::move(job));
    StartQueued();
    return true;
}

void TPictureFetch::Abandon(const QObject* AContext) {
    std::erase_if(FQueue, [AContext](const auto& job) { return job->Key == AContext; });
    std::vector<std::shared_ptr<Job>> dropped;
    std::erase_if(FRunning, [&](const auto& job) {
        if (job->Key != AContext)
            return false;
        dropped.push_back(job);
        return true;
    });
    for (const auto& job : dropped) {
        QNetworkReply* reply = std::exchange(job->Reply, nullptr);
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (!dropped.empty())
        StartQueued();
}

void TPictureFetch::StartQueued() {
    if (FStarting) // a start already in progress further up the stack fills the free places
        return;
    FStarting = true;
    while (int(FRunning.size()) < FMaxRunning && !FQueue.empty()) {
        std::shared_ptr<Job> job = std::move(FQueue.front());
        FQueue.pop_front();
        if (job->Context)
            Start(job);
    }
    FStarting = false;
}

void TPictureFetch::Start(const std::shared_ptr<Job>& AJob) {
    QNetworkRequest request(AJob->Url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setRawHeader("Accept", "image/jpeg, image/*;q=0.8");
    QNetworkReply* reply = FNet->get(request);
    AJob->Reply = reply;
    FRunning.push_back(AJob);
    // Taken as it arrives, so the size limit also holds for what the network thread buffers.
    reply->setReadBufferSize(256 * 1024);
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [AJob] {
        AJob->TimedOut = true;
        if (AJob->Reply)
            AJob->Reply->abort();
    });
    timer->start(FTimeoutMs);
    connect(reply, &QNetworkReply::readyRead, this, [AJob] {
        if (!AJob->Reply)
            return;
        AJob->Body += AJob->Reply->readAll();
        if (AJob->Body.size() > MaxPictureBytes) {
            AJob->TooLarge = true;
            AJob->Reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, AJob] { Finish(AJob); });
}

void TPictureFetch::Finish(const std::shared_ptr<Job>& AJob) {
    QNetworkReply* reply = std::exchange(AJob->Reply, nullptr);
    if (!reply)
        return;
    const auto it = std::find(FRunning.begin(), FRunning.end(), AJob);
    if (it != FRunning.end())
        FRunning.erase(it);
    reply->disconnect(this);
    reply->deleteLater();
    QImage picture;
    if (AJob->TimedOut) {
        qCDebug(lcPictureFetch) << "picture" << AJob->Url.path() << "timed out";
    } else if (AJob->TooLarge) {
        qCDebug(lcPictureFetch) << "picture" << AJob->Url.path() << "larger than" << MaxPictureBytes
                                << "bytes";
    } else if (reply->error() != QNetworkReply::NoError) {
        qCDebug(lcPictureFetch) << "picture" << AJob->Url.path() << "failed:" << reply->error();
    } else {
        AJob->Body += reply->readAll();
        picture = AJob->Body.size() <= MaxPictureBytes ? Decode(AJob->Body, AJob->FitIn) : QImage();
        if (picture.isNull())
            qCDebug(lcPictureFetch) << "picture" << AJob->Url.path() << "does not decode";
    }
    AJob->Body.clear();
    const QPointer<TPictureFetch> self(this);
    if (AJob->Context)
        AJob->Done(picture);
    if (!self)
        return;
    emit fetched(AJob->Url, !picture.isNull());
    if (self)
        StartQueued();
}
