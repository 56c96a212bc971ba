#include "voice/VoiceSessionRunner.h"

namespace orvane {

VoiceSessionRunner::VoiceSessionRunner(UiThreadPort& port, std::function<IModuleHost*()> host,
                                       std::function<void(const char*)> statusText,
                                       VoiceSessionThread::Settings settings)
    : port_(port), host_(std::move(host)), statusText_(std::move(statusText)), settings_(std::move(settings))
{
}

VoiceSessionRunner::~VoiceSessionRunner()
{
    stop();
}

bool VoiceSessionRunner::start()
{
    stop();
    notifier_ = std::make_unique<VoiceSessionNotifier>(port_, statusText_);
    thread_ = std::make_unique<VoiceSessionThread>(port_, host_ ? host_() : nullptr, settings_);
    thread_->setNotifier(notifier_.get());
    thread_->init();
    thread_->start();
    return true;
}

void VoiceSessionRunner::stop()
{
    if (thread_) {
        thread_->stop(true);
        thread_.reset();
    }
    notifier_.reset();
}

void VoiceSessionRunner::startCall(IContact* contact, unsigned call)
{
    if (!thread_)
        return;
    // The program starts the thread with its main window, before the module has its host.
    if (IModuleHost* host = host_ ? host_() : nullptr)
        thread_->setHost(host);
    thread_->startCall(contact, call);
}

void VoiceSessionRunner::startTalk(IContact* contact, IModuleConnection* connection, unsigned call)
{
    if (thread_)
        thread_->startTalk(contact, connection, call);
    else if (connection)
        connection->close();
}

void VoiceSessionRunner::stopSession()
{
    if (thread_)
        thread_->stopSession();
}

void VoiceSessionRunner::stopSessionOf(unsigned call)
{
    if (thread_)
        thread_->stopSessionOf(call);
}

} // namespace orvane
