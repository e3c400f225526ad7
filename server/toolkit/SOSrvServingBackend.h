#pragma once
// What actually serves clients over the network (OPC UA). The entry forwards start,
// shutdownAllClients and terminate to the installed backend; the backend reports sessions
// with SODaSEntry::createServerObject / releaseServerObject.
#include <string_view>

class SODaSEntry;

class SOSrvServingBackend {
 public:
  virtual ~SOSrvServingBackend() = default;
  // Begin serving; false when it cannot (the entry's start then fails).
  virtual bool start(SODaSEntry& entry) = 0;
  // Tell every client the server goes away (UA: state Shutdown, then close the sessions).
  virtual void shutdownAllClients(std::string_view reason) = 0;
  // Stop serving and let go of every toolkit object; called once from terminate.
  virtual void terminate() = 0;
};
