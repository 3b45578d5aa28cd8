#pragma once

#include "ConfigInfo.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

// Request type codes; a response carries the code of its request as its ID.
enum RequestType : int8_t {
    TypeConnect = 0,
    TypeDisconnect = 1,
    TypeStbInfo = 2,
    TypeConfigInfo = 3,
    TypeExportParams = 4,
    TypeExportChannelList = 5,
    TypePing = 6,
    TypeTraceRoute = 7,
    TypeUserCommand = 8,   // a command typed by the user
    TypeButtonCommand = 9, // a command issued by a button
    TypeUpgrade = 10,
    TypeLogParams = 11,
    TypePcap = 12,
};

// Protocol function codes: the first word of a frame.
enum FunctionCode : uint8_t { FuncRead = 0, FuncWrite = 1, FuncIoctl = 2, FuncInform = 3, FuncConnect = 4, FuncNone = 255 };

// "read", "write", "ioctl", "inform", "connect"; "" for any other code.
std::string functionName(int code);

enum ResponseStatus : uint8_t { STA_OK = 0, STA_PART_OK = 1, STA_ERROR = 2, STA_PROGRESS = 3 };

// Codes of box replies carried in Response::errorId, and the link's own.
enum StatusCode : int16_t {
    kCodeNone = 0,
    kCodeLinkNoData = 1,
    kCodeDisconnect = 2,
    kCodeOk = 200,
    kCodeSameVersion = 300,
    kCodeUpgrading = 301,
    kCodeUpgradeDone = 302,
    kCodeIllegalImage = 303,
    kCodeStandby = 304,
    kCodeIllegalParameter = 401,
    kCodeIllegalCommand = 402,
    kCodeNoChannel = 403,
    kCodeOtherClient = 404,
    kCodeBadCredentials = 501,
    kCodeIllegalOperation = 502,
};

#define QUILLON_CLONE(Base, Class)                                                                 \
    std::unique_ptr<Base> clone() const override { return std::make_unique<Class>(*this); }

class Request {
public:
    uint8_t function = FuncNone;
    int8_t type = -1;

    Request() = default;
    Request(uint8_t function_, int8_t type_) : function(function_), type(type_) {}
    virtual ~Request() = default;
    virtual std::unique_ptr<Request> clone() const { return std::make_unique<Request>(*this); }
};

class ReqConnect : public Request {
public:
    std::string ip;
    int32_t port = 9003;
    std::string userName;
    std::string password;
    ReqConnect() : Request(FuncRead, TypeConnect) {}
    QUILLON_CLONE(Request, ReqConnect)
};

class ReqDisConnect : public Request {
public:
    ReqDisConnect() : Request(FuncNone, TypeDisconnect) {}
    QUILLON_CLONE(Request, ReqDisConnect)
};

class ReqSTBInfo : public Request {
public:
    ReqSTBInfo() : Request(FuncRead, TypeStbInfo) {}
    QUILLON_CLONE(Request, ReqSTBInfo)
};

class ResConfigInfo;

class ReqConfigInfo : public Request, public ConfigInfo {
public:
    // The configuration last read from the box; not owned, shared by copies.
    const ResConfigInfo* baseline = nullptr;
    explicit ReqConfigInfo(uint8_t function_ = FuncRead) : Request(function_, TypeConfigInfo) {}
    QUILLON_CLONE(Request, ReqConfigInfo)
};

class ReqExportParams : public Request {
public:
    std::string fileName;
    ReqExportParams() : Request(FuncRead, TypeExportParams) {}
    QUILLON_CLONE(Request, ReqExportParams)
};

class ReqExportChannelList : public Request {
public:
    std::string fileName; // empty: read only
    ReqExportChannelList() : Request(FuncRead, TypeExportChannelList) {}
    QUILLON_CLONE(Request, ReqExportChannelList)
};

class ReqPing : public Request {
public:
    std::string target;
    int32_t duration = -1; // seconds, -1 when none
    ReqPing() : Request(FuncConnect, TypePing) {}
    QUILLON_CLONE(Request, ReqPing)
};

class ReqTraceRoute : public Request {
public:
    std::string target;
    ReqTraceRoute() : Request(FuncConnect, TypeTraceRoute) {}
    QUILLON_CLONE(Request, ReqTraceRoute)
};

class ReqExtCommand : public Request {
public:
    std::string command; // function^call^parameter[^data]
    std::string call;
    std::string parameter;
    std::string data;
    ReqExtCommand(uint8_t function_ = FuncNone, int8_t type_ = TypeUserCommand) : Request(function_, type_) {}
    QUILLON_CLONE(Request, ReqExtCommand)
};

class ReqUpgrade : public Request {
public:
    std::string fileName;
    uint8_t forceUpgrade = 0;
    // An image already open (one file for many boxes), read by position and left open; -1: the
    // exchange opens fileName itself. The caller keeps it open until the link is shut down.
    int imageFd = -1;
    ReqUpgrade() : Request(FuncIoctl, TypeUpgrade) {}
    QUILLON_CLONE(Request, ReqUpgrade)
};

class ReqLogParams : public Request {
public:
    int32_t addrType = -1;
    std::string addrValue;
    int32_t logLevel = -1;
    int32_t logType = -1;
    int32_t outputType = -1;
    explicit ReqLogParams(uint8_t function_ = FuncRead) : Request(function_, TypeLogParams) {}
    QUILLON_CLONE(Request, ReqLogParams)
};

class ReqPcap : public Request {
public:
    std::string serverIp;
    std::string serverPort;
    std::string captureTime;
    std::string maxFileSize;
    ReqPcap() : Request(FuncIoctl, TypePcap) {}
    QUILLON_CLONE(Request, ReqPcap)
};

class Response {
public:
    uint8_t function = FuncNone;
    uint8_t type = 0xFF;
    uint8_t status = STA_OK;
    int16_t errorId = 0;
    std::string message;

    Response() = default;
    Response(uint8_t function_, uint8_t type_) : function(function_), type(type_) {}
    virtual ~Response() = default;
    virtual std::unique_ptr<Response> clone() const { return std::make_unique<Response>(*this); }

    void setResult(uint8_t status_, std::string message_, int16_t errorId_)
    {
        status = status_;
        message = std::move(message_);
        errorId = errorId_;
    }
};

class ResConnect : public Response {
public:
    ResConnect() : Response(FuncRead, TypeConnect) {}
    QUILLON_CLONE(Response, ResConnect)
};

class ResDisConnect : public Response {
public:
    ResDisConnect() : Response(FuncRead, TypeDisconnect) {}
    QUILLON_CLONE(Response, ResDisConnect)
};

class ResSTBInfo : public Response {
public:
    std::string stbType;
    std::string stbModel;
    std::string serialNumber;
    std::string softwareVersion;
    std::string compileTime;
    std::string browserVersion;
    std::string hardwareVersion;
    std::string macAddress;
    uint8_t connectType = 0;
    std::string stbIP;
    std::string gateway;
    std::string dns;
    std::string ntvUserAccount;
    std::string casType;
    std::string chipId;
    std::string mainHomepageUrl;
    std::string secondaryHomepageUrl;
    std::string epgUrl;
    std::string upgradeServer;
    std::string ntpDomain;
    int32_t timeZone = 0;
    int32_t localTime = 0;
    uint8_t localTimeUnset = 0;
    std::string logServerUrl;
    std::string managementDomain;
    std::string tvmsHeartbitUrl;

    ResSTBInfo() : Response(FuncRead, TypeStbInfo) {}
    QUILLON_CLONE(Response, ResSTBInfo)
};

class ResConfigInfo : public Response, public ConfigInfo {
public:
    explicit ResConfigInfo(uint8_t function_ = FuncRead) : Response(function_, TypeConfigInfo) {}
    QUILLON_CLONE(Response, ResConfigInfo)
};

class ResExportParams : public Response {
public:
    int32_t percent = 0;
    ResExportParams() : Response(FuncRead, TypeExportParams) {}
    QUILLON_CLONE(Response, ResExportParams)
};

class ResExportChannelList : public Response {
public:
    int32_t percent = 0;
    std::string channelList;
    ResExportChannelList() : Response(FuncRead, TypeExportChannelList) {}
    QUILLON_CLONE(Response, ResExportChannelList)
};

class ResPing : public Response {
public:
    int32_t finished = 0;
    ResPing() : Response(FuncConnect, TypePing) {}
    QUILLON_CLONE(Response, ResPing)
};

class ResTraceRoute : public Response {
public:
    int32_t finished = 0;
    ResTraceRoute() : Response(FuncConnect, TypeTraceRoute) {}
    QUILLON_CLONE(Response, ResTraceRoute)
};

class ResExtCommand : public Response {
public:
    std::string body;
    std::string call;
    std::string parameter;
    std::string data;
    ResExtCommand(uint8_t function_ = FuncNone, uint8_t type_ = TypeUserCommand) : Response(function_, type_) {}
    QUILLON_CLONE(Response, ResExtCommand)
};

class ResUpgrade : public Response {
public:
    int32_t percent = 0;
    int32_t upgrading = 0; // 0 while the image is sent, 1 while the box writes it
    ResUpgrade() : Response(FuncIoctl, TypeUpgrade) {}
    QUILLON_CLONE(Response, ResUpgrade)
};

class ResLogParams : public Response {
public:
    int32_t addrType = -1;
    std::string addrValue;
    int32_t logLevel = -1;
    int32_t logType = -1;
    int32_t outputType = -1;
    explicit ResLogParams(uint8_t function_ = FuncRead) : Response(function_, TypeLogParams) {}
    QUILLON_CLONE(Response, ResLogParams)
};

// An empty response of the class that answers `request`, with its function and ID.
std::unique_ptr<Response> makeResponseFor(const Request& request);

// A slice of a receive buffer (not owned), as cut by splitData.
struct DataEntity {
    const char* data = nullptr;
    int length = 0;
};
using DataEntityList = std::vector<DataEntity>;

} // namespace quillon
