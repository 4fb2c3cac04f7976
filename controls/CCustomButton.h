// Image button drawn from a strip of face frames over a part of the page picture, with hover and toggle looks.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CImageEx.h"

#include <QAbstractButton>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>

class QPainter;

class CCustomButton : public QAbstractButton {
    Q_OBJECT
public:
    // The frame each look takes from the face image; the order is the order of the face offsets.
    enum Look { NormalOff = 0, NormalOn, PressedOff, PressedOn, HoverOn, HoverOff, LookCount };

    // What the owner passes when it paints the button into its own picture; only "pressed" changes the look.
    enum ItemStateFlag { ItemPressed = 0x1, ItemDisabled = 0x4, ItemFocused = 0x10 };
    Q_DECLARE_FLAGS(ItemState, ItemStateFlag)

    explicit CCustomButton(QWidget* parent = nullptr);

    // The part of the background image behind the button, in that image's pixels.
    void setBackgroundRect(const QRect& rect) { m_backgroundRect = rect; }
    QRect backgroundRect() const { return m_backgroundRect; }

    void setFaceOffset(Look look, QPoint topLeft) { m_faceOffsets.at(look) = topLeft; }
    QPoint faceOffset(Look look) const { return m_faceOffsets.at(look); }

    CImageExResource& faceImage() { return m_face; }
    CImageExResource& backgroundImage() { return m_background; }

    // 0 off, 1 on; any other value draws no face. Setting it does not repaint: the owner does.
    void setToggleState(int state) { m_toggleState = state; }
    int toggleState() const { return m_toggleState; }

    // Size of the off-screen surface of buffered drawing; the pages give each button its own size.
    void setFrameSize(QSize size) { m_frameSize = size; }
    QSize frameSize() const { return m_frameSize; }

    void setToggleFlag(bool toggles) { m_toggleFlag = toggles; }
    bool toggleFlag() const { return m_toggleFlag; }

    bool hoverFlag() const { return m_hover; }

    ItemState itemState() const;

    // Paints at the painter's (0, 0); an owner painting its picture translates the painter to the button first.
    void drawButton(QPainter& surface, ItemState state, bool buffered = true) const;
    void drawFace(QPainter& surface, ItemState state) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // False when the toggle state is neither 0 nor 1: such a button shows no face.
    bool chooseFaceOffset(ItemState state, QPoint* offset) const;
    void setHover(bool hover);

    QRect m_backgroundRect;
    std::array<QPoint, LookCount> m_faceOffsets{};
    CImageExResource m_face;
    CImageExResource m_background;
    int m_toggleState = 0;
    QSize m_frameSize{0, 0};
    bool m_toggleFlag = true;
    bool m_hover = false;
    // Set by our own left press: a release only toggles when the press that captured the mouse was ours.
    bool m_captured = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(CCustomButton::ItemState)
